// Declarations of the part of Foundation that this project uses, written from Apple's
// public documentation for type checks of Objective-C++ without an SDK. Declarations only.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <sys/types.h>

#if __OBJC_BOOL_IS_BOOL
typedef bool BOOL;
#else
typedef signed char BOOL;
#endif
#define YES ((BOOL)1)
#define NO ((BOOL)0)
#ifndef nil
#ifdef __cplusplus
#define nil nullptr
#else
#define nil ((id)0)
#endif
#endif

typedef long NSInteger;
typedef unsigned long NSUInteger;

#pragma clang assume_nonnull begin

__attribute__((objc_root_class))
@interface NSObject
+ (instancetype)alloc;
+ (instancetype)new;
- (instancetype)init;
@end

typedef struct {
    unsigned long state;
    id __unsafe_unretained _Nullable* _Nullable itemsPtr;
    unsigned long* _Nullable mutationsPtr;
    unsigned long extra[5];
} NSFastEnumerationState;

@protocol NSFastEnumeration
- (NSUInteger)countByEnumeratingWithState:(NSFastEnumerationState*)state
                                  objects:(id __unsafe_unretained _Nullable[_Nonnull])buffer
                                    count:(NSUInteger)len;
@end

@interface NSString : NSObject
@property(readonly) NSUInteger length;
@end

@interface NSMutableString : NSString
@end

@interface NSArray<__covariant ObjectType> : NSObject <NSFastEnumeration>
@property(readonly) NSUInteger count;
- (ObjectType)objectAtIndex:(NSUInteger)index;
- (ObjectType)objectAtIndexedSubscript:(NSUInteger)idx;
@end

@interface NSDictionary<KeyType, ObjectType> : NSObject
@end

@interface NSNumber : NSObject
@end

@interface NSLocale : NSObject
@end

@interface NSTimer : NSObject
@end

#pragma clang assume_nonnull end
