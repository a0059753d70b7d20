// The name of the system notification that this project watches, from macOS's
// <notify_keys.h>, for type checks without an SDK.
#pragma once

#define kNotifyTimeZoneChange "com.apple.system.timezone"
