#include "kernel/json/VJSONArrayReader.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONImporter.h"

namespace kova
{

VJSONArrayReader::VJSONArrayReader(const VString& inText)
{
    _Parse(inText);
}

void VJSONArrayReader::FromJSONString(const VString& inText)
{
    fError = VE_OK;
    fElements.clear();
    fCount = 0;
    _Parse(inText);
}

void VJSONArrayReader::_Parse(const VString& inText)
{
    fError = VE_JSON_MALFORMED;
    if (!inText.IsEmpty())
    {
        // The tokenizer's own complaints are not the reader's: it reports 550 alone.
        StErrorContextInstaller quiet(false, true);
        VJSONImporter importer(inText, 0);
        VString text;
        bool quoted = false;
        VJSONImporter::JsonToken token;
        do
            token = importer.GetNextJSONToken(text, &quoted, nullptr);
        while (token != VJSONImporter::jsonEnd && token != VJSONImporter::jsonBeginArray);

        // Nested arrays and objects are skipped whole, each kind of bracket counted alike.
        int32_t nesting = 0;
        while (token != VJSONImporter::jsonEnd)
        {
            token = importer.GetNextJSONToken(text, &quoted, nullptr);
            if (token == VJSONImporter::jsonBeginArray || token == VJSONImporter::jsonBeginObject)
            {
                ++nesting;
            }
            else if (token == VJSONImporter::jsonEndArray || token == VJSONImporter::jsonEndObject)
            {
                if (nesting == 0)
                {
                    if (token == VJSONImporter::jsonEndArray)
                        fError = VE_OK;
                    break;
                }
                --nesting;
            }
            else if (token == VJSONImporter::jsonString && nesting == 0)
            {
                fElements.push_back(text);
            }
        }
    }
    if (fError != VE_OK)
        fElements.clear();
    fCount = int32_t(fElements.size());
}

int32_t VJSONArrayReader::GetCountOfElements(VError* outError) const
{
    if (outError != nullptr)
        *outError = fError;
    return fCount;
}

VError VJSONArrayReader::_CheckDestination(const void* inValues, int32_t inCapacity) const
{
    if (fError != VE_OK || inValues == nullptr)
        return fError;
    if (inCapacity < fCount)
    {
        _ThrowError(VE_INVALID_PARAMETER);
        return VE_INVALID_PARAMETER;
    }
    return VE_OK;
}

template <class T, class CONVERT>
VError VJSONArrayReader::_ToArray(T* outValues, int32_t inCapacity, CONVERT inConvert) const
{
    VError error = _CheckDestination(outValues, inCapacity);
    if (error != VE_OK || outValues == nullptr)
        return error;
    for (int32_t i = 0; i < fCount; ++i)
        outValues[i] = inConvert(fElements[size_t(i)]);
    return VE_OK;
}

VError VJSONArrayReader::ToArrayShort(int16_t* outValues, int32_t inCapacity) const
{
    return _ToArray(outValues, inCapacity, [](const VString& inText) { return inText.GetWord(); });
}

VError VJSONArrayReader::ToArrayLong(int32_t* outValues, int32_t inCapacity) const
{
    return _ToArray(outValues, inCapacity, [](const VString& inText) { return inText.GetLong(); });
}

VError VJSONArrayReader::ToArrayReal(double* outValues, int32_t inCapacity) const
{
    return _ToArray(outValues, inCapacity, [](const VString& inText) { return inText.GetReal(); });
}

VError VJSONArrayReader::ToArrayBool(char* outValues, int32_t inCapacity) const
{
    static const VString sTrue("true");
    return _ToArray(outValues, inCapacity,
                    [](const VString& inText) { return char(inText.EqualToString(sTrue, false) ? 1 : 0); });
}

VError VJSONArrayReader::ToArrayString(std::vector<VString>& ioValues, bool inAppend) const
{
    if (!inAppend)
        ioValues.clear();
    if (fError == VE_OK)
        ioValues.insert(ioValues.end(), fElements.begin(), fElements.end());
    return fError;
}

} // namespace kova
