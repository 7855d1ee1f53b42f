// XPosixCommandLine is what the command-line parser and its converters ask of the system: the path
// a text names once links and steps are resolved, whether standard output is a terminal,
// and the whole of standard input.
#pragma once

namespace kova
{

class VFilePath;
class VString;

class XPosixCommandLine
{
public:
    XPosixCommandLine() = delete;

    // The existing path the text names (relative to the current folder unless full), links
    // resolved, as a full path ("/" after a folder). False when it names nothing, or holds a zero
    // unit, which the system would take for its end.
    static bool ResolvePath(const VString& inText, VFilePath& outPath, bool& outIsFolder);

    static bool IsStandardOutputTerminal();

    // Reads standard input to its end in blocks of 1024 bytes and decodes it as UTF-8. False on a
    // read error; what was read before it is dropped.
    static bool ReadStandardInput(VString& outText);
};

} // namespace kova
