// AudioObjectAddPropertyListenerBlock on the main queue. A listener is removed with the
// very block it was added with, so the blocks are kept (ARC holds them) by object and
// address. Objective-C++ for the blocks.
#include "observer/platform/macos/hal_listeners.h"

#include <CoreAudio/CoreAudio.h>
#include <dispatch/dispatch.h>

#include <map>
#include <tuple>
#include <utility>

namespace observer::platform::macos {
namespace {

using Key = std::tuple<audio::ObjectId, std::uint32_t, std::uint32_t, std::uint32_t>;

std::map<Key, AudioObjectPropertyListenerBlock>& listeners() {
    static std::map<Key, AudioObjectPropertyListenerBlock> kept;
    return kept;
}

Key keyOf(audio::ObjectId object, const audio::PropertyAddress& address) {
    return {object, address.selector, address.scope, address.element};
}

}  // namespace

bool addHalListener(audio::ObjectId object, const audio::PropertyAddress& address, std::function<void()> changed) {
    const AudioObjectPropertyAddress hal{address.selector, address.scope, address.element};
    AudioObjectPropertyListenerBlock block = ^(UInt32, const AudioObjectPropertyAddress*) {
        changed();
    };
    if (AudioObjectAddPropertyListenerBlock(object, &hal, dispatch_get_main_queue(), block) != 0) return false;
    listeners()[keyOf(object, address)] = block;
    return true;
}

void removeHalListener(audio::ObjectId object, const audio::PropertyAddress& address) {
    const auto found = listeners().find(keyOf(object, address));
    if (found == listeners().end()) return;
    const AudioObjectPropertyAddress hal{address.selector, address.scope, address.element};
    AudioObjectRemovePropertyListenerBlock(object, &hal, dispatch_get_main_queue(), found->second);
    listeners().erase(found);
}

}  // namespace observer::platform::macos
