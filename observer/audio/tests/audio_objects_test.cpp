#include <cstring>

#include "observer/audio/audio_objects.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

namespace hal = platform::audio;
using sim::HalQuery;
using Ids = std::vector<AudioObjectID>;

class AudioObjectsTest : public ObserverTest {
protected:
    // Answers the size and data queries of one selector on one object; everything else
    // goes to the world.
    static void script(hal::ObjectId object, std::uint32_t selector, std::function<hal::Status(std::uint32_t&)> size,
                       std::function<hal::Status(std::uint32_t&, void*)> data) {
        sim::setHalOverride([=](HalQuery query, hal::ObjectId asked, const hal::PropertyAddress& address,
                                std::uint32_t& bytes, void* out) -> std::optional<hal::Status> {
            if (asked != object || address.selector != selector) return std::nullopt;
            if (query == HalQuery::size) return size ? size(bytes) : std::optional<hal::Status>();
            return data ? data(bytes, out) : std::optional<hal::Status>();
        });
    }
    static std::size_t queries(HalQuery kind, hal::ObjectId object) {
        std::size_t count = 0;
        for (const auto& call : sim::halCalls()) count += call.query == kind && call.object == object;
        return count;
    }
};

constexpr hal::Status failure = 2003332927;

TEST_F(AudioObjectsTest, ProcessObjectListAbsentEmptyOrListed) {
    sim::World world;
    world.audioProcesses = std::nullopt;
    sim::setWorld(world);
    EXPECT_EQ(audioProcessObjects(), std::nullopt);

    world.audioProcesses.emplace();
    sim::setWorld(world);
    EXPECT_EQ(audioProcessObjects(), Ids{}) << "an empty list is present";

    world.audioProcesses = {capturing(20, 1), capturing(21, 2, false)};
    sim::setWorld(world);
    EXPECT_EQ(audioProcessObjects(), (Ids{20, 21}));
}

TEST_F(AudioObjectsTest, ShortWriteReturnsOnlyTheIdsWritten) {
    script(
        hal::systemObject, hal::selector::processObjectList,
        [](std::uint32_t& size) { return size = 12, hal::noErr; },
        [](std::uint32_t& size, void* out) {
            EXPECT_EQ(size, 12u);
            const hal::ObjectId ids[] = {31, 32};
            std::memcpy(out, ids, sizeof ids);
            size = 7;  // one whole id and part of another
            return hal::noErr;
        });
    EXPECT_EQ(audioProcessObjects(), Ids{31});
}

TEST_F(AudioObjectsTest, OddSizeNeverLetsTheHalWritePastTheList) {
    script(
        hal::systemObject, hal::selector::devices, [](std::uint32_t& size) { return size = 10, hal::noErr; },
        [](std::uint32_t& size, void* out) {
            EXPECT_EQ(size, 8u) << "capacity is the whole ids only";
            const hal::ObjectId ids[] = {41, 42};
            std::memcpy(out, ids, sizeof ids);
            return hal::noErr;
        });
    sim::World world;
    world.devices = {microphone(41, false), microphone(42, false)};
    sim::setWorld(world);
    EXPECT_EQ(inputDevices(), (Ids{41, 42}));
}

TEST_F(AudioObjectsTest, FailedDataQueryAfterSizeQueryIsAbsent) {
    script(
        hal::systemObject, hal::selector::processObjectList, [](std::uint32_t& size) { return size = 8, hal::noErr; },
        [](std::uint32_t&, void*) { return failure; });
    EXPECT_EQ(audioProcessObjects(), std::nullopt);
    script(
        hal::systemObject, hal::selector::devices, [](std::uint32_t& size) { return size = 8, hal::noErr; },
        [](std::uint32_t&, void*) { return failure; });
    EXPECT_EQ(inputDevices(), Ids{});
}

TEST_F(AudioObjectsTest, InputDevicesKeepsOnlyDevicesWithInputChannelsInOrder) {
    sim::World world;
    world.devices = {
        {60, std::vector<std::uint32_t>{2}, false},     // microphone
        {61, std::vector<std::uint32_t>{}, true},       // output only: no buffer
        {62, std::vector<std::uint32_t>{0}, true},      // a buffer without channels
        {63, std::nullopt, true},                       // configuration unreadable
        {64, std::vector<std::uint32_t>{0, 2}, false},  // second buffer has channels
    };
    sim::setWorld(world);
    EXPECT_EQ(inputDevices(), (Ids{60, 64}));
    EXPECT_FALSE(hasInputChannels(99)) << "unknown device";
    world.devices.clear();
    sim::setWorld(world);
    EXPECT_EQ(inputDevices(), Ids{});
}

TEST_F(AudioObjectsTest, SmallConfigurationIsNotReadAtAll) {
    sim::World world;
    world.devices = {{70, std::vector<std::uint32_t>{}, true}};  // 8 bytes: no buffer record
    sim::setWorld(world);
    sim::recordHalCalls(true);
    EXPECT_FALSE(hasInputChannels(70));
    EXPECT_EQ(queries(HalQuery::size, 70), 1u);
    EXPECT_EQ(queries(HalQuery::data, 70), 0u);
}

TEST_F(AudioObjectsTest, BufferRecordsAreReadOnlyAsFarAsTheBytesWritten) {
    // Claims three buffers, writes one record with no channels; channels beyond it are garbage.
    script(
        80, hal::selector::streamConfiguration, [](std::uint32_t& size) { return size = 56, hal::noErr; },
        [](std::uint32_t& size, void* out) {
            unsigned char bytes[56] = {};
            const std::uint32_t buffers = 3;
            const std::uint32_t garbage = 2;
            std::memcpy(bytes, &buffers, 4);
            std::memcpy(bytes + 24, &garbage, 4);
            std::memcpy(out, bytes, sizeof bytes);
            size = 24;
            return hal::noErr;
        });
    EXPECT_FALSE(hasInputChannels(80));
}

TEST_F(AudioObjectsTest, RunningAndPidValues) {
    script(90, hal::selector::deviceIsRunningSomewhere, nullptr, [](std::uint32_t& size, void* out) {
        EXPECT_EQ(size, 4u);
        const std::uint32_t two = 2;
        std::memcpy(out, &two, 4);
        return hal::noErr;
    });
    EXPECT_TRUE(isMicActive(90)) << "any non-zero value runs";

    sim::setHalOverride(nullptr);
    sim::World world;
    world.audioProcesses = {{20, std::nullopt, std::nullopt}, {21, 0, false}, {22, -5, true}};
    sim::setWorld(world);
    sim::recordHalCalls(true);
    EXPECT_EQ(processPID(20), std::nullopt);
    EXPECT_EQ(processPID(21), 0);
    EXPECT_EQ(processPID(22), -5);
    EXPECT_FALSE(isProcessRunningInput(20)) << "a failed query is false";
    EXPECT_FALSE(isProcessRunningInput(21));
    EXPECT_TRUE(isProcessRunningInput(22));
    EXPECT_FALSE(isMicActive(20));
    EXPECT_EQ(queries(HalQuery::size, 20) + queries(HalQuery::size, 21) + queries(HalQuery::size, 22), 0u)
        << "scalars need no size query";
}

}  // namespace
}  // namespace observer::testing
