// VJSONArrayWriter and VJSONSingleObjectWriter build JSON text directly from plain values, for
// callers that have numbers and strings at hand and want one array or one object as text without
// building a VJSONValue tree first.
//
//     VJSONArrayWriter writer;
//     writer.AddLong(1);
//     writer.AddBool(true);
//     writer.GetArray(text, false); // [1,true]; the writer is "[]" again
//
// A closed array or object is reopened by the next addition, so that text can be taken out and
// more values added. A value that cannot be written as JSON text is left out.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdint>
#include <vector>

namespace kova
{

class VValueSingle;

class VJSONArrayWriter
{
public:
    // "[]", closed.
    VJSONArrayWriter();

    // The value's JSON text (VValueSingle::GetJSONString with the options); nothing at all when
    // that fails.
    void Add(const VValueSingle& inValue, uint32_t inOptions);
    // A null pointer adds nothing. Option 1 quotes the string.
    void AddString(const char* inText, uint32_t inOptions);
    void AddString(const VString& inText, uint32_t inOptions);
    void AddStrings(const std::vector<VString>& inTexts, uint32_t inOptions);
    void AddBool(bool inValue);
    void AddLong(int32_t inValue);
    // NaN and the infinities are written null: JSON has no text for them.
    void AddReal(double inValue);
    // Takes the other writer's array as one element and leaves the other "[]".
    void AddJSONArray(VJSONArrayWriter& ioOther);
    // A null pointer or a count below 1 adds nothing.
    void AddLongs(const int32_t* inValues, int32_t inCount);
    void AddWords(const int16_t* inValues, int32_t inCount);
    void AddBools(const char* inValues, int32_t inCount);
    void AddReals(const double* inValues, int32_t inCount);

    void Close();
    // Closes and copies the text out; unless inKeep the writer is "[]" again.
    void GetArray(VString& outText, bool inKeep);

private:
    void _Reopen();
    // The element's text and its ",".
    void _Append(const VString& inElement);
    void _Reset();

    VString fText;
    bool fClosed = true;
};

class VJSONSingleObjectWriter : public VObject
{
public:
    // "{", open, no member.
    VJSONSingleObjectWriter();

    // The name as a JSON string and the value's JSON text. False, with nothing written, for an
    // empty name or a value that cannot be written.
    bool AddMember(const VString& inName, const VValueSingle& inValue, uint32_t inOptions);
    // Closes the object and copies the text out; a later AddMember reopens it.
    void GetObject(VString& outText);

private:
    VString fText;
    bool fClosed = false;
    int32_t fCount = 0;
};

} // namespace kova
