// VCompareOptions carries the options of a comparison with options (the *WithOptions slots of the
// value model): the international manager whose collation strings use, pattern matching with a
// wildcard, whether diacritics count, comparison of the beginning only, and the tolerance within
// which two reals are equal (used only when diacritics do not count).
#pragma once

#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VIntlMgr;
class VJSONObject;

class VCompareOptions : public VObject
{
public:
    VCompareOptions() = default;
    VCompareOptions(const VCompareOptions&) = default;
    VCompareOptions& operator=(const VCompareOptions&) = default;
    ~VCompareOptions() override;

    // Not retained: the caller keeps the manager alive while the options are used.
    void SetIntlManager(VIntlMgr* inIntlMgr) { fIntlMgr = inIntlMgr; }
    VIntlMgr* GetIntlManager() const { return fIntlMgr; }

    void SetLike(bool inLike) { fLike = inLike; }
    bool IsLike() const { return fLike; }

    void SetDiacritical(bool inDiacritical) { fDiacritical = inDiacritical; }
    bool IsDiacritical() const { return fDiacritical; }

    void SetBeginOnly(bool inBeginOnly) { fBeginOnly = inBeginOnly; }
    bool IsBeginOnly() const { return fBeginOnly; }

    void SetEpsilon(double inEpsilon) { fEpsilon = inEpsilon; }
    double GetEpsilon() const { return fEpsilon; }

    // The diacritical flag as the object's property "diacritical" (JSON true or false); the other
    // fields have no JSON form. A null object is left alone. Both answer 0.
    VError ToJSON(VJSONObject* ioObject) const;
    // Reads "diacritical" when it is JSON true or false; any other value keeps the flag.
    VError FromJSON(const VJSONObject* inObject);

private:
    VIntlMgr* fIntlMgr = nullptr;
    bool fLike = false;
    bool fDiacritical = false;
    bool fBeginOnly = false;
    double fEpsilon = 0.000001;
};

} // namespace kova
