// Declarations of the part of the CoreAudio HAL that this project calls, written from
// Apple's public documentation for type checks without an SDK. Declarations only.
// The process-object selectors are left out on purpose: SDKs before macOS 14.2 lack them,
// and the sources must build against those SDKs too.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <dispatch/dispatch.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef UInt32 AudioObjectID;
typedef UInt32 AudioObjectPropertySelector;
typedef UInt32 AudioObjectPropertyScope;
typedef UInt32 AudioObjectPropertyElement;

typedef struct AudioObjectPropertyAddress {
    AudioObjectPropertySelector mSelector;
    AudioObjectPropertyScope mScope;
    AudioObjectPropertyElement mElement;
} AudioObjectPropertyAddress;

enum { kAudioObjectSystemObject = 1 };

// Four-char codes, written in hex: 'glob', 'inpt', 'dev#', 'slay', 'gone'.
enum : AudioObjectPropertyScope {
    kAudioObjectPropertyScopeGlobal = 0x676C6F62,
    kAudioObjectPropertyScopeInput = 0x696E7074
};
enum : AudioObjectPropertyElement { kAudioObjectPropertyElementMain = 0 };
enum : AudioObjectPropertySelector {
    kAudioHardwarePropertyDevices = 0x64657623,
    kAudioDevicePropertyStreamConfiguration = 0x736C6179,
    kAudioDevicePropertyDeviceIsRunningSomewhere = 0x676F6E65
};

typedef struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
} AudioBuffer;

typedef struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];
} AudioBufferList;

OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                        UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* outDataSize);
OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                    UInt32 inQualifierDataSize, const void* inQualifierData, UInt32* ioDataSize,
                                    void* outData);
Boolean AudioObjectHasProperty(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress);

#if defined(__BLOCKS__)
typedef void (^AudioObjectPropertyListenerBlock)(UInt32 inNumberAddresses, const AudioObjectPropertyAddress* inAddresses);
OSStatus AudioObjectAddPropertyListenerBlock(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                             dispatch_queue_t inDispatchQueue, AudioObjectPropertyListenerBlock inListener);
OSStatus AudioObjectRemovePropertyListenerBlock(AudioObjectID inObjectID, const AudioObjectPropertyAddress* inAddress,
                                                dispatch_queue_t inDispatchQueue,
                                                AudioObjectPropertyListenerBlock inListener);
#endif

#ifdef __cplusplus
}
#endif
