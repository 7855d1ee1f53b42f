// VFileKind names a type of document by an identifier (a uniform type identifier, such as
// "public.plain-text"), with the four-character OS type codes and file-name extensions that
// belong to it, a description, and the identifiers of the kinds it conforms to. Public kinds are
// the system's; private ones are declared by the application (VFileKindManager). Immutable once
// made, so one kind is shared freely between tasks.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <vector>

namespace kova
{

class VFileKind : public VObject, public IRefCountable
{
public:
    // A new kind with one reference for the caller; the first OS kind and the first extension are
    // the preferred ones. Null when memory runs out.
    static VFileKind* Create(const VString& inID, const std::vector<VString>& inOsKinds,
                             const VString& inDescription, const std::vector<VString>& inExtensions,
                             const std::vector<VString>& inParentIDs, bool inPublic);

    const VString& GetID() const { return fID; }
    const VString& GetDescription() const { return fDescription; }
    bool IsPublic() const { return fPublic; }

    // Extensions match as the dialect compares text, case and accents ignored; OS kinds exactly.
    bool MatchExtension(const VString& inExtension) const;
    bool MatchOsKind(const VString& inOsKind) const;
    // The first entry; false, with the string cleared, when there is none.
    bool GetPreferredExtension(VString& outExtension) const;
    bool GetPreferredOsKind(VString& outOsKind) const;
    // Appended to the caller's list.
    void GetParentIDs(std::vector<VString>& ioParentIDs) const;

    // Through the system's type declarations, and the parents this kind declares.
    bool ConformsTo(const VFileKind& inKind) const;
    // False for an identifier the file-kind manager does not know.
    bool ConformsTo(const VString& inID) const;

private:
    VFileKind(const VString& inID, const std::vector<VString>& inOsKinds, const VString& inDescription,
              const std::vector<VString>& inExtensions, const std::vector<VString>& inParentIDs,
              bool inPublic);

    VString fDescription;
    VString fID;
    std::vector<VString> fOsKinds;
    std::vector<VString> fExtensions;
    std::vector<VString> fParentIDs;
    bool fPublic;
};

} // namespace kova
