// Property lists of type declarations, as bundles carry them: for the tests and the benchmark of
// the type manager. No test framework here, so that the benchmark can use it too.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kova::testing_uti
{

struct Declaration
{
    std::string fIdentifier;
    std::vector<std::string> fConformsTo = {};
    std::vector<std::string> fExtensions = {};
    std::string fMIMEType = {};
    std::string fDescription = {};
};

inline std::string Strings(const std::vector<std::string>& inValues)
{
    std::string xml;
    for (const std::string& value : inValues)
        xml += "<string>" + value + "</string>";
    return xml;
}

inline std::string DeclarationXML(const Declaration& inDeclaration)
{
    std::string xml = "<dict><key>UTTypeIdentifier</key><string>" + inDeclaration.fIdentifier + "</string>";
    if (!inDeclaration.fDescription.empty())
        xml += "<key>UTTypeDescription</key><string>" + inDeclaration.fDescription + "</string>";
    if (!inDeclaration.fConformsTo.empty())
        xml += "<key>UTTypeConformsTo</key><array>" + Strings(inDeclaration.fConformsTo) + "</array>";
    xml += "<key>UTTypeTagSpecification</key><dict>";
    if (!inDeclaration.fExtensions.empty())
        xml +=
            "<key>public.filename-extension</key><array>" + Strings(inDeclaration.fExtensions) + "</array>";
    if (!inDeclaration.fMIMEType.empty())
        xml += "<key>public.mime-type</key><string>" + inDeclaration.fMIMEType + "</string>";
    return xml + "</dict></dict>";
}

inline std::string PropertyList(const std::vector<Declaration>& inDeclarations)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                      "<key>CFBundleIdentifier</key><string>com.example.app</string>"
                      "<key>UTExportedTypeDeclarations</key><array>";
    for (const Declaration& declaration : inDeclarations)
        xml += DeclarationXML(declaration);
    return xml + "</array></dict></plist>\n";
}

// The declarations of bundles inFirst to inFirst + inCount - 1, inTypes types each (a multiple of
// 8): types conforming to a type declared before them or after them in the bundle, to one of the
// next bundle, to two parents, to a type nobody declares, and to the public types that every bundle
// declares again before its own. The types of bundle 0 claim their identifiers as extensions.
inline std::vector<Declaration> BundleDeclarations(int inFirst, int inCount, int inTypes)
{
    auto id = [](int inBundle, int inType)
    {
        char text[32];
        std::snprintf(text, sizeof(text), "com.b%04d.t%02d", inBundle, inType);
        return std::string(text);
    };
    std::vector<Declaration> types;
    for (int bundle = inFirst; bundle < inFirst + inCount; ++bundle)
    {
        types.push_back({"public.data"});
        types.push_back({"public.content", {"public.data"}});
        for (int type = 0; type < inTypes; ++type)
        {
            Declaration declaration{id(bundle, type)};
            if (bundle == 0)
                declaration.fExtensions = {declaration.fIdentifier};
            switch (type % 8)
            {
            case 0:
                declaration.fConformsTo = {"public.content"};
                break;
            case 4:
                declaration.fConformsTo = {id(bundle, type + 1), "public.content"};
                break;
            case 5:
                declaration.fConformsTo = {id(bundle + 1, 6)};
                break;
            case 6:
                declaration.fConformsTo = {"public.data"};
                break;
            case 7:
                declaration.fConformsTo = {"com.undeclared.b" + std::to_string(bundle)};
                break;
            default:
                declaration.fConformsTo = {id(bundle, type - 1)};
            }
            types.push_back(declaration);
        }
    }
    return types;
}

} // namespace kova::testing_uti
