// VJSONWriter writes a tree of VJSONValues as JSON text into a VString: compact or indented, with
// cycles detected, long output cut when asked, and trees that plain JSON cannot carry refused
// when asked. It is the writer behind VJSONValue::Stringify and SaveToFile; a native delegate
// (IJSONObject::IJSON_Stringify) may write itself with the same writer and its options.
//
// Options (the writer acts on some and hands the word unchanged to the text forms of strings and
// dates, which act on the others):
//   1       strings, names and dates in double quotes
//   8       indented: one tab per level, one member a line, ": " after names
//   16      strings written without escaping
//   0x80    a date written as local midnight of its day
//   0x100   an object whose delegate has a binary form of its own fails (kova 911)
//   0x200, 0x1000   date forms (VTime::GetJSONString)
//   0x400   '&' and "'" escaped as well
//   0x2000  an object met again inside itself written "[circular]" instead of failing (kova 900)
//   0x4000  output cut with "..." once more than 512 characters were written
//   0x8000  an instance of a class fails (kova 914)
//   0x10000 an object met a second time anywhere fails (kova 916)
//
// The whole text is built in one buffer. A failure ends the writing and leaves the caller's
// output as it was. A writer is made for one output: the seen objects, the written count and the
// cut flag only grow.
#pragma once

#include "kernel/json/VJSONAddressTable.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace kova
{

class IFile;
class VDBLanguageContext;
class VJSONArray;
class VJSONValue;

class VJSONWriter : public VObject
{
public:
    static constexpr uint32_t kQuoted = 1;
    static constexpr uint32_t kIndented = 8;
    static constexpr uint32_t kUnescaped = 16;
    static constexpr uint32_t kLocalDates = 0x80;
    static constexpr uint32_t kRefuseNativeBinary = 0x100;
    static constexpr uint32_t kCircularMarker = 0x2000;
    static constexpr uint32_t kCut = 0x4000;
    static constexpr uint32_t kRefuseClassInstances = 0x8000;
    static constexpr uint32_t kRefuseSharedObjects = 0x10000;
    // Past this many characters written, option kCut stops the output.
    static constexpr uint32_t kCutLength = 512;

    explicit VJSONWriter(uint32_t inOptions);
    // The language context is handed to the properties that a delegate serves.
    VJSONWriter(VDBLanguageContext* inContext, uint32_t inOptions);
    ~VJSONWriter() override;

    uint32_t GetOptions() const { return fOptions; }
    uint32_t GetLevel() const { return fLevel; }

    // Each replaces the output text on success and leaves it untouched on failure.
    VError StringifyValue(const VJSONValue& inValue, VString& outText);
    // A null object or array writes "undefined".
    VError StringifyObject(const VJSONObject* inObject, VString& outText);
    VError StringifyArray(const VJSONArray* inArray, VString& outText);

    // For delegates that write their own members: the level, and the indent text ("\n" and one
    // tab per open level) that option 8 puts before or after a member.
    void IncrementLevel();
    void DecrementLevel();
    void InsertIndentString(VString& ioText) const;
    void AppendIndentString(VString& ioText) const;

    // Writes the value and stores the text in the file as UTF-8 without byte-order mark. A null
    // file does nothing. When the writer fails its error is returned and the file is untouched.
    static VError StringifyValueToFile(const IFile* inFile, const VJSONValue& inValue, uint32_t inOptions);

private:
    class Output;

    VError _WriteValue(const VJSONValue& inValue, Output& ioOutput);
    // A value held by a collection being written.
    VError _WriteHeld(const VJSONValue& inValue, Output& ioOutput);
    VError _WriteObject(const VJSONObject* inObject, Output& ioOutput);
    VError _WriteArray(const VJSONArray* inArray, Output& ioOutput);
    VError _WriteMembers(const VJSONObject* inObject, Output& ioOutput, bool& outCut);
    VError _WriteString(const UniChar* inUnits, int32_t inLength, Output& ioOutput);
    VError _WriteNumber(double inNumber, Output& ioOutput);
    VError _WriteDate(const VJSONValue& inValue, Output& ioOutput);
    // After a member's text: counts it under option kCut; true when the container is cut there.
    bool _CountMember(size_t inLength);
    bool _IsOpen(const void* inContainer) const;
    void _Open(const void* inContainer);
    void _Close();
    template <class WRITE>
    VError _Public(VString& outText, WRITE&& inWrite);

    VDBLanguageContext* fContext = nullptr;
    uint32_t fOptions;
    uint32_t fLevel = 0;
    // "\n" followed by one tab per open level, under option kIndented; empty otherwise.
    VString fIndent;
    // The containers being written, outermost first. Those below the first kScannedLevels are
    // also in fDeepContainers: a container met deep in a tree costs no scan of every level above.
    static constexpr size_t kScannedLevels = 16;
    std::vector<const void*> fOpenContainers;
    VJSONAddressTable fDeepContainers;
    // Retained: an object freed while writing cannot leave its address to another one.
    std::unordered_set<const VJSONObject*> fSeenObjects;
    std::vector<VRefPtr<VJSONObject>> fSeenReferences;
    uint64_t fWrittenCount = 0;
    bool fCutDone = false;
    VStr31 fScratch;
};

} // namespace kova
