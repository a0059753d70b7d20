// The HAL mirror against a fake HAL whose listeners fire at once, late or never.
#include "observer/platform/macos/hal_mirror.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace observer::platform::macos {
namespace {

namespace selector = audio::selector;
namespace scope = audio::scope;

const audio::PropertyAddress processList{selector::processObjectList, scope::global, audio::elementMain};
const audio::PropertyAddress runningInput{selector::processIsRunningInput, scope::global, audio::elementMain};
const audio::PropertyAddress pidOf{selector::processPID, scope::global, audio::elementMain};
const audio::PropertyAddress configuration{selector::streamConfiguration, scope::input, audio::elementMain};

PropertyValue scalar(std::uint32_t value) {
    PropertyValue result;
    result.bytes.resize(4);
    std::memcpy(result.bytes.data(), &value, 4);
    return result;
}

PropertyValue ids(const std::vector<audio::ObjectId>& list) {
    PropertyValue result;
    result.bytes.resize(4 * list.size());
    if (!list.empty()) std::memcpy(result.bytes.data(), list.data(), result.bytes.size());
    return result;
}

enum class Listeners { fireAtOnce, fireAtTheNextTick, neverFire, refused };

class FakeHal final : public HalSource {
public:
    explicit FakeHal(Listeners listeners) : listeners_(listeners) {}

    PropertyValue read(audio::ObjectId object, const audio::PropertyAddress& address) override {
        ++reads;
        const auto found = values_.find(keyOf(object, address));
        if (found == values_.end()) return PropertyValue{-1, {}};
        return found->second;
    }
    bool listen(audio::ObjectId object, const audio::PropertyAddress& address, std::function<void()> changed) override {
        if (listeners_ == Listeners::refused) return false;
        listening_[keyOf(object, address)] = std::move(changed);
        return true;
    }
    void stopListening(audio::ObjectId object, const audio::PropertyAddress& address) override {
        listening_.erase(keyOf(object, address));
    }

    // The HAL's own change, told as its listeners are told.
    void set(audio::ObjectId object, const audio::PropertyAddress& address, PropertyValue value) {
        const std::string key = keyOf(object, address);
        values_[key] = std::move(value);
        if (listeners_ == Listeners::fireAtOnce) fire(key);
        if (listeners_ == Listeners::fireAtTheNextTick) late_.push_back(key);
    }
    // Between ticks: what fires late fires now.
    void betweenTicks() {
        for (const auto& key : std::exchange(late_, {})) fire(key);
    }
    std::size_t listenerCount() const { return listening_.size(); }

    int reads = 0;

private:
    static std::string keyOf(audio::ObjectId object, const audio::PropertyAddress& address) {
        return std::to_string(object) + "/" + std::to_string(address.selector) + "/" + std::to_string(address.scope);
    }
    void fire(const std::string& key) {
        if (const auto listener = listening_.find(key); listener != listening_.end()) listener->second();
    }

    Listeners listeners_;
    std::map<std::string, PropertyValue> values_;
    std::map<std::string, std::function<void()>> listening_;
    std::vector<std::string> late_;
};

class HalMirrorTest : public ::testing::TestWithParam<Listeners> {
protected:
    HalMirrorTest() : hal(GetParam()), mirror(hal, [this](std::string_view line) { log.emplace_back(line); }) {
        hal.set(audio::systemObject, processList, ids({40, 41}));
        hal.set(40, runningInput, scalar(0));
        hal.set(40, pidOf, scalar(812));
        hal.set(41, runningInput, scalar(1));
        hal.set(41, pidOf, scalar(900));
        hal.betweenTicks();
    }

    // A tick's reads, as the microphone check makes them.
    std::vector<PropertyValue> tick() {
        std::vector<PropertyValue> seen{mirror.read(audio::systemObject, processList)};
        for (const audio::ObjectId object : {40u, 41u}) {
            seen.push_back(mirror.read(object, runningInput));
            seen.push_back(mirror.read(object, pidOf));
        }
        mirror.tickEnded();
        hal.betweenTicks();
        return seen;
    }

    FakeHal hal;
    std::vector<std::string> log;
    HalMirror mirror;
};

TEST_P(HalMirrorTest, AnswersAsTheHalDoes) {
    const auto seen = tick();
    EXPECT_EQ(seen, (std::vector<PropertyValue>{ids({40, 41}), scalar(0), scalar(812), scalar(1), scalar(900)}));
    EXPECT_EQ(mirror.read(99, pidOf).status, -1) << "a failure is the HAL's failure";
    EXPECT_FALSE(HalMirror::mirrors({audio::fourCharCode("nope"), scope::global, audio::elementMain}));
    EXPECT_TRUE(HalMirror::mirrors(configuration));
}

INSTANTIATE_TEST_SUITE_P(Listeners, HalMirrorTest,
                         ::testing::Values(Listeners::fireAtOnce, Listeners::fireAtTheNextTick, Listeners::neverFire,
                                           Listeners::refused),
                         [](const ::testing::TestParamInfo<Listeners>& info) {
                             switch (info.param) {
                                 case Listeners::fireAtOnce: return std::string("FireAtOnce");
                                 case Listeners::fireAtTheNextTick: return std::string("FireLate");
                                 case Listeners::neverFire: return std::string("NeverFire");
                                 case Listeners::refused: return std::string("Refused");
                             }
                             return std::string();
                         });

class ListenersThatFireTest : public HalMirrorTest {};

// While nothing changes, a tick costs no read at all but the audit's; a change is seen
// once its listener has fired.
TEST_P(ListenersThatFireTest, NothingIsReadWhileNothingChangesAndEveryChangeIsSeenOnceTold) {
    tick();
    const int afterFirstTick = hal.reads;
    for (int i = 1; i < HalMirror::auditInterval - 1; ++i) tick();
    EXPECT_EQ(hal.reads, afterFirstTick) << "ticks 2 to 14 read nothing";
    tick();
    EXPECT_EQ(hal.reads, afterFirstTick + 5) << "the audit reads each value once";

    hal.set(41, runningInput, scalar(0));
    hal.betweenTicks();
    EXPECT_EQ(tick()[3], scalar(0));
    // Process 41 leaves: its entries and listeners go with it.
    const std::size_t listeners = hal.listenerCount();
    hal.set(audio::systemObject, processList, ids({40}));
    hal.betweenTicks();
    EXPECT_EQ(mirror.read(audio::systemObject, processList), ids({40}));
    EXPECT_EQ(hal.listenerCount(), listeners - 2);
    for (int i = 0; i < 2 * HalMirror::auditInterval; ++i) tick();
    EXPECT_FALSE(mirror.readsDirectly());
    EXPECT_TRUE(log.empty());
}

INSTANTIATE_TEST_SUITE_P(Listeners, ListenersThatFireTest,
                         ::testing::Values(Listeners::fireAtOnce, Listeners::fireAtTheNextTick));

// A change made just before an audit, whose listener fires only after it, is no fault.
TEST(HalMirrorLateListenerTest, AChangeToldAfterTheAuditIsNoFault) {
    FakeHal hal(Listeners::fireAtTheNextTick);
    std::vector<std::string> log;
    HalMirror mirror(hal, [&](std::string_view line) { log.emplace_back(line); });
    hal.set(40, runningInput, scalar(0));
    hal.betweenTicks();
    for (int i = 1; i < HalMirror::auditInterval; ++i) {
        mirror.read(40, runningInput);
        mirror.tickEnded();
        hal.betweenTicks();
    }
    hal.set(40, runningInput, scalar(1));  // its listener fires after this tick
    EXPECT_EQ(mirror.read(40, runningInput), scalar(0)) << "not yet told";
    mirror.tickEnded();  // the audit sees the difference
    hal.betweenTicks();  // and the listener fires
    EXPECT_EQ(mirror.read(40, runningInput), scalar(1));
    mirror.tickEnded();
    EXPECT_FALSE(mirror.readsDirectly());
    EXPECT_TRUE(log.empty());
}

// A listener that never fires is found by the audit, said once, and the mirror reads
// directly from then on, so that answers are right again.
TEST(HalMirrorSilentListenerTest, AMissedChangeSwitchesToDirectReadsAndIsSaidOnce) {
    FakeHal hal(Listeners::neverFire);
    std::vector<std::string> log;
    HalMirror mirror(hal, [&](std::string_view line) { log.emplace_back(line); });
    hal.set(40, runningInput, scalar(0));
    EXPECT_EQ(mirror.read(40, runningInput), scalar(0));
    hal.set(40, runningInput, scalar(1));
    int ticks = 0;
    while (!mirror.readsDirectly() && ticks < 3 * HalMirror::auditInterval) {
        mirror.read(40, runningInput);
        mirror.tickEnded();
        ++ticks;
    }
    EXPECT_TRUE(mirror.readsDirectly());
    EXPECT_EQ(ticks, HalMirror::auditInterval + 1) << "the audit, then one tick's grace";
    EXPECT_EQ(hal.listenerCount(), 0u);
    EXPECT_EQ(mirror.read(40, runningInput), scalar(1));
    hal.set(40, runningInput, scalar(0));
    EXPECT_EQ(mirror.read(40, runningInput), scalar(0));
    for (int i = 0; i < 2 * HalMirror::auditInterval; ++i) mirror.tickEnded();
    EXPECT_EQ(log, (std::vector<std::string>{
                       "audio HAL: a change went untold by its listener \xE2\x80\x94 reading directly from now on"}));
}

// Without listeners, every read is the HAL's.
TEST(HalMirrorRefusedListenerTest, EveryReadIsDirect) {
    FakeHal hal(Listeners::refused);
    HalMirror mirror(hal, [](std::string_view) {});
    hal.set(40, pidOf, scalar(812));
    mirror.read(40, pidOf);
    mirror.read(40, pidOf);
    EXPECT_EQ(hal.reads, 2);
    hal.set(40, pidOf, scalar(813));
    EXPECT_EQ(mirror.read(40, pidOf), scalar(813));
}

}  // namespace
}  // namespace observer::platform::macos
