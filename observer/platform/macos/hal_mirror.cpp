// The mirror's entries are made on first read, each with its listener; a list that
// changes takes the entries of the objects it no longer names with it.
#include "observer/platform/macos/hal_mirror.h"

#include <cstring>
#include <utility>

namespace observer::platform::macos {

namespace selector = audio::selector;

HalMirror::HalMirror(HalSource& source, std::function<void(std::string_view)> log)
    : source_(source), log_(std::move(log)) {}

bool HalMirror::mirrors(const audio::PropertyAddress& address) {
    switch (address.selector) {
        case selector::processObjectList:
        case selector::devices:
        case selector::processIsRunningInput:
        case selector::processPID:
        case selector::deviceIsRunningSomewhere:
        case selector::streamConfiguration:
            return true;
        default:
            return false;
    }
}

HalMirror::Key HalMirror::keyOf(audio::ObjectId object, const audio::PropertyAddress& address) {
    return {object, address.selector, address.scope, address.element};
}

audio::PropertyAddress HalMirror::addressOf(const Key& key) {
    return {std::get<1>(key), std::get<2>(key), std::get<3>(key)};
}

PropertyValue HalMirror::read(audio::ObjectId object, const audio::PropertyAddress& address) {
    if (direct_ || !mirrors(address)) return source_.read(object, address);
    const Key key = keyOf(object, address);
    const auto found = entries_.find(key);
    if (found != entries_.end() && found->second.current) return found->second.value;

    const bool listening = found != entries_.end();
    // Listen first: a change between the read and the registration would go untold.
    if (!listening && !source_.listen(object, address, [this, key] {
            if (const auto entry = entries_.find(key); entry != entries_.end()) entry->second.current = false;
        })) {
        return source_.read(object, address);
    }
    Entry& entry = entries_[key];
    entry.value = source_.read(object, address);
    entry.current = true;
    if (object == audio::systemObject) forgetObjectsNotListed();
    return entry.value;
}

// The system object's lists name every object the mirror may keep: one gone from both is
// gone for good (the HAL never reuses an object id while it runs).
void HalMirror::forgetObjectsNotListed() {
    std::set<audio::ObjectId> listed;
    for (const auto& [key, entry] : entries_) {
        if (std::get<0>(key) != audio::systemObject || entry.value.status != audio::noErr) continue;
        const auto& bytes = entry.value.bytes;
        for (std::size_t at = 0; at + sizeof(audio::ObjectId) <= bytes.size(); at += sizeof(audio::ObjectId)) {
            audio::ObjectId id = 0;
            std::memcpy(&id, bytes.data() + at, sizeof id);
            listed.insert(id);
        }
    }
    for (auto entry = entries_.begin(); entry != entries_.end();) {
        const audio::ObjectId object = std::get<0>(entry->first);
        if (object == audio::systemObject || listed.contains(object)) {
            ++entry;
            continue;
        }
        source_.stopListening(object, addressOf(entry->first));
        suspected_.erase(entry->first);
        entry = entries_.erase(entry);
    }
}

void HalMirror::tickEnded() {
    if (direct_) return;
    if (suspicionDue_) {
        suspicionDue_ = false;
        // One tick for a late listener: a value it has not marked changed since, and that
        // still differs from the HAL's, was missed.
        for (const Key& key : std::exchange(suspected_, {})) {
            const auto entry = entries_.find(key);
            if (entry == entries_.end() || !entry->second.current) continue;
            if (source_.read(std::get<0>(key), addressOf(key)) != entry->second.value) {
                readDirectlyFromNowOn();
                return;
            }
        }
    }
    if (++ticks_ % auditInterval == 0) audit();
}

void HalMirror::audit() {
    for (const auto& [key, entry] : entries_) {
        if (!entry.current) continue;
        if (source_.read(std::get<0>(key), addressOf(key)) != entry.value) suspected_.insert(key);
    }
    suspicionDue_ = !suspected_.empty();
}

void HalMirror::readDirectlyFromNowOn() {
    log_("audio HAL: a change went untold by its listener \u2014 reading directly from now on");
    for (const auto& [key, entry] : entries_) source_.stopListening(std::get<0>(key), addressOf(key));
    entries_.clear();
    suspected_.clear();
    direct_ = true;
}

}  // namespace observer::platform::macos
