// A mirror of the HAL properties that a tick reads of every audio object: the process
// objects and the devices on the system object, each process object's running-input
// state and pid, each device's running state and stream configuration. The HAL tells of each change through a
// listener on the main queue, so the mirror answers without a round trip to coreaudiod
// while nothing changes, and the single-threaded design holds: listeners run between
// ticks, never during one.
//
// Listeners are trusted only as far as they prove themselves: every `auditInterval`
// ticks each value kept is compared with a fresh read. A listener may fire late, so a
// difference has one more tick to be mended by its listener; one that is not means a
// listener that never fires, which is logged once, and the mirror reads directly for the
// rest of the run. A property whose listener the HAL refuses is always read directly.
//
// Written against `HalSource`, so that the mirror's logic is tested with a fake HAL on
// any machine; the macOS backend gives it the real one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string_view>
#include <tuple>
#include <vector>

#include "observer/platform/audio_hal.h"

namespace observer::platform::macos {

// One property's answer: the status of the first query that failed (or noErr) and the
// value's bytes.
struct PropertyValue {
    audio::Status status = audio::noErr;
    std::vector<std::uint8_t> bytes;
    bool operator==(const PropertyValue&) const = default;
};

class HalSource {
public:
    virtual ~HalSource() = default;
    // The size query, then the data query.
    virtual PropertyValue read(audio::ObjectId object, const audio::PropertyAddress& address) = 0;
    // `changed` is called between ticks each time the property changes; false when the
    // HAL refuses the listener.
    virtual bool listen(audio::ObjectId object, const audio::PropertyAddress& address, std::function<void()> changed) = 0;
    virtual void stopListening(audio::ObjectId object, const audio::PropertyAddress& address) = 0;
};

class HalMirror {
public:
    static constexpr int auditInterval = 15;

    HalMirror(HalSource& source, std::function<void(std::string_view)> log);
    HalMirror(const HalMirror&) = delete;
    HalMirror& operator=(const HalMirror&) = delete;

    // Whether the property is one that the mirror keeps.
    static bool mirrors(const audio::PropertyAddress& address);
    // Its value as the HAL last told it, read afresh where no listener keeps it.
    PropertyValue read(audio::ObjectId object, const audio::PropertyAddress& address);
    // After each tick.
    void tickEnded();
    bool readsDirectly() const { return direct_; }

private:
    using Key = std::tuple<audio::ObjectId, std::uint32_t, std::uint32_t, std::uint32_t>;
    struct Entry {
        PropertyValue value;
        bool current = false;  // no change told since the value was read
    };

    static Key keyOf(audio::ObjectId object, const audio::PropertyAddress& address);
    static audio::PropertyAddress addressOf(const Key& key);
    void forgetObjectsNotListed();
    void audit();
    void readDirectlyFromNowOn();

    HalSource& source_;
    std::function<void(std::string_view)> log_;
    std::map<Key, Entry> entries_;
    std::set<Key> suspected_;  // differed at the last audit
    bool suspicionDue_ = false;
    int ticks_ = 0;
    bool direct_ = false;
};

}  // namespace observer::platform::macos
