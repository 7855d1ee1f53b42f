// Our stand-in for the error objects of CoreFoundation: a domain (a name telling whose numbering
// the code follows) and a code, shared by reference counting. An NSError is the same object, so
// one type serves both.
#pragma once

#include <cstdint>
#include <string>

namespace kova::cf
{

struct Error;

// The domains of the system's own codes.
inline constexpr char kErrorDomainOSStatus[] = "OSStatus";
inline constexpr char kErrorDomainPOSIX[] = "POSIX";
inline constexpr char kErrorDomainMach[] = "Mach";
inline constexpr char kErrorDomainCocoa[] = "Cocoa";

// A new error with one reference for the caller; the domain is copied. Null for a null domain or
// when memory runs out.
Error* ErrorCreate(const char* inDomain, int64_t inCode);
// Adds a reference; returns the error. Null is ignored.
Error* ErrorRetain(Error* inError);
// Drops a reference; the last one frees the error. Null is ignored.
void ErrorRelease(Error* inError);
// Domains are compared by their text, never by address.
const char* ErrorGetDomain(const Error* inError);
int64_t ErrorGetCode(const Error* inError);
int32_t ErrorGetRetainCount(const Error* inError);
// CFErrorCopyDescription without user information: for a Cocoa code the stand-ins answer with, a
// short description in our own words; otherwise the domain and the code ("Cocoa error 7."). Empty
// when memory runs out.
std::string ErrorCopyDescription(const Error* inError);

} // namespace kova::cf
