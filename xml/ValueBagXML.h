// Value bags as XML: a bag read from an XML document or file (through VXMLBagHandler), written to
// a file as an XML document, and kept in a byte stream as a record of XML text.
//
//     VRefPtr<VValueBag> bag(new VValueBag);
//     VError error = LoadBagFromXML(file, VString("bag"), *bag, 0); // xmlc errors on failure
//     error = WriteBagToFileInXML(*bag, VString("bag"), otherFile, true);
//
// The file form: "<?xml version="1.0" encoding="UTF-8"?>" directly followed by the bag's element
// (VValueBag::DumpXML), UTF-8 without a byte-order mark, line ends as the dump made them. In both
// forms a tab, line feed or carriage return of an attribute value is written as a character
// reference, so that the value reads back as it was.
// The stream record: a u32 version 1 in the stream's byte order, then the string form of
// "<?xml version="1.0" encoding="UTF-16"?>" directly followed by the bag's element "bag",
// without indentation.
//
// Reading gives back the attributes as strings and the character data between elements in the
// bag's CDATA. A document whose element does not bear the expected root name leaves the bag as it
// was, without error.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova
{

class IFile;
class VFolder;
class VStream;
class VString;
class VValueBag;

// A null file writes nothing and answers 0. The file is replaced whole or not at all: when writing
// fails, the writing error is returned and the file keeps its old content. A bag that cannot be
// written whole (its dump raised an error: a name XML cannot hold) writes nothing and gives that
// error.
VError WriteBagToFileInXML(const VValueBag& inBag, const VString& inRootName, IFile* inFile, bool inIndented);
// The stream keeps its first error, which is returned. A bag that cannot be written whole writes
// nothing and gives its error.
VError WriteBagToStreamInXML(const VValueBag& inBag, VStream* ioStream);
// A record of another version than 1 is skipped whole and leaves the bag as it was (0). The
// errors of this read only are returned: the stream's, or the last of the document's.
VError ReadBagFromStreamInXML(VValueBag& ioBag, VStream* ioStream);

// The options are VXMLParser's. The errors of the load join the caller's context; the last of them
// is returned (0 when none). With an entity prefix and an existing entity folder, the document's
// external entities resolve to files of that folder.
VError LoadBagFromXML(const VString& inXMLText, const VString& inRootName, VValueBag& ioBag,
                      uint32_t inOptions);
VError LoadBagFromXML(IFile* inFile, const VString& inRootName, VValueBag& ioBag, uint32_t inOptions);
VError LoadBagFromXML(IFile* inFile, const VString& inRootName, VValueBag& ioBag, uint32_t inOptions,
                      const VString* inEntityPrefix, VFolder* inEntityFolder);
VError LoadBagFromXML(const VString& inXMLText, const VString& inRootName, VValueBag& ioBag,
                      uint32_t inOptions, const VString* inEntityPrefix, VFolder* inEntityFolder);

} // namespace kova
