// The one table of character-set names: IANA names and aliases with their MIBenum numbers, in a
// fixed order that the lookups of VTextConverters depend on. Several rows share a CharSet; the
// first row of a CharSet gives its canonical name and MIBenum, and the first row whose name
// matches wins a name lookup ("x-mac-ce" names 102 although 114 carries it too). The MIBenum
// column is data of the table, returned as stored even where IANA assigns no such number.
#pragma once

#include "kernel/text/CharSet.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

struct CharSetTableRow
{
    CharSet fCharSet;
    int32_t fMIBEnum;
    const char* fName; // ASCII
    bool fWeb;         // offered for the web
};

// 162 rows, then a terminating row whose name is null.
constexpr size_t kCharSetTableRowCount = 162;
extern const CharSetTableRow kCharSetTable[kCharSetTableRowCount + 1];

} // namespace kova
