// The leak checker's suppression of the XML library's own leak: Xerces-C 3.2.4 keeps about 130
// bytes, allocated while it scans the document type declaration, each time it reads a document's
// external DTD subset (reproduced with the library alone). Nothing of ours can free them. Included
// by exactly one file of each test and fuzz program.
#pragma once

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:xercesc_3_2::XMLScanner::scanProlog\n";
}
