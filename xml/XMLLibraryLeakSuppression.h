// The leak checker's suppressions of the XML library's own leaks, which nothing of ours can free.
// Included by exactly one file of each test and fuzz program.
// - Xerces-C 3.2.4 keeps about 130 bytes, allocated while it scans the document type declaration,
//   each time it reads a document's external DTD subset (reproduced with the library alone).
// - It keeps a block of 72 bytes when an allocation fails while it expands an entity in the
//   default value of an attribute declaration: a document refused for the entities it expands
//   there, or the memory it would take.
#pragma once

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:xercesc_3_2::XMLScanner::scanProlog\n"
           "leak:xercesc_3_2::DTDScanner::scanEntityRef\n";
}
