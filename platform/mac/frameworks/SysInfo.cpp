#include "platform/mac/frameworks/SysInfo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>

namespace kova::sys
{

namespace
{

std::mutex sRootMutex;
std::string sRoot;

std::string Root()
{
    std::lock_guard<std::mutex> lock(sRootMutex);
    return sRoot;
}

// Blanks at both ends removed.
std::string Trimmed(std::string inText)
{
    const char* blanks = " \t\r\n";
    size_t first = inText.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    size_t last = inText.find_last_not_of(blanks);
    return inText.substr(first, last - first + 1);
}

// The account of the effective user; false when it cannot be read.
bool ReadAccount(std::string& outName, std::string& outFullName)
{
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? size_t(hint) : 1024);
    for (;;)
    {
        passwd entry = {};
        passwd* found = nullptr;
        int error = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < 1048576)
        {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr || entry.pw_name == nullptr)
            return false;
        outName = entry.pw_name;
        // The comment field holds the full name first, then other comma-separated details.
        std::string comment = entry.pw_gecos != nullptr ? entry.pw_gecos : "";
        outFullName = Trimmed(comment.substr(0, comment.find(',')));
        return true;
    }
}

// The fields of /proc/PID/task/TID/stat after the command name, which may hold blanks and
// parentheses: field 3 (the state) first.
std::vector<std::string> StatFieldsAfterName(const std::string& inLine)
{
    std::vector<std::string> fields;
    size_t close = inLine.rfind(')');
    if (close == std::string::npos)
        return fields;
    std::istringstream words(inLine.substr(close + 1));
    std::string word;
    while (words >> word)
        fields.push_back(word);
    return fields;
}

bool ParseUnsigned(const std::string& inText, uint64_t& outValue)
{
    if (inText.empty() || inText[0] < '0' || inText[0] > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(inText.c_str(), &end, 10);
    if (errno != 0 || *end != 0)
        return false;
    outValue = value;
    return true;
}

} // namespace

std::string SystemPath(std::string_view inPath)
{
    return Root() + std::string(inPath);
}

void SetSystemRootForTesting(const char* inRoot)
{
    std::lock_guard<std::mutex> lock(sRootMutex);
    sRoot = inRoot != nullptr ? inRoot : "";
    while (!sRoot.empty() && sRoot.back() == '/')
        sRoot.pop_back();
}

std::optional<std::string> ReadFirstLine(std::string_view inPath, size_t inLimit)
{
    std::FILE* file = std::fopen(SystemPath(inPath).c_str(), "re");
    if (file == nullptr)
        return std::nullopt;
    std::string line;
    for (int c = std::fgetc(file); c != EOF && c != '\n' && line.size() < inLimit; c = std::fgetc(file))
        line.push_back(char(c));
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    while (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

int SysctlString(std::string_view inName, size_t inSize, std::string& outText)
{
    std::optional<std::string> text;
    const bool ownRoot = Root().empty();
    utsname names = {};
    if (inName == "kern.osversion")
    {
        text = ReadFirstLine("/proc/sys/kernel/osrelease");
        if (!text.has_value() && ownRoot && uname(&names) == 0)
            text = names.release;
    }
    else if (inName == "kern.ostype")
    {
        text = ReadFirstLine("/proc/sys/kernel/ostype");
        if (!text.has_value() && ownRoot && uname(&names) == 0)
            text = names.sysname;
    }
    else if (inName == "hw.model")
    {
        text = ReadFirstLine("/sys/class/dmi/id/product_name");
    }
    if (text.has_value())
        text = Trimmed(*text);
    if (!text.has_value() || text->empty())
        return ENOENT;
    if (text->size() + 1 > inSize)
        return ENOMEM;
    outText = *text;
    return 0;
}

std::vector<ProcessorTicks> ReadProcessorTicks()
{
    std::vector<ProcessorTicks> processors;
    std::ifstream stat(SystemPath("/proc/stat"));
    std::string line;
    while (std::getline(stat, line))
    {
        // "cpuN user nice system idle iowait irq softirq steal guest guest_nice": the line of the
        // whole machine, "cpu ", is not a processor's. Guest time is already in user time.
        if (line.size() < 4 || line.compare(0, 3, "cpu") != 0 || line[3] < '0' || line[3] > '9')
            continue;
        std::istringstream words(line);
        std::string name;
        words >> name;
        uint64_t values[8] = {};
        size_t count = 0;
        std::string word;
        while (count < 8 && words >> word)
        {
            if (!ParseUnsigned(word, values[count]))
                break;
            ++count;
        }
        if (count < 4)
            return {};
        ProcessorTicks ticks;
        ticks.fUser = values[0];
        ticks.fNice = values[1];
        ticks.fSystem = values[2] + values[5] + values[6] + values[7];
        ticks.fIdle = values[3] + values[4];
        processors.push_back(ticks);
    }
    return processors;
}

std::optional<std::vector<double>> ReadThreadUsages()
{
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    std::optional<std::string> uptimeLine = ReadFirstLine("/proc/uptime");
    if (ticksPerSecond <= 0 || !uptimeLine.has_value())
        return std::nullopt;
    char* end = nullptr;
    const double uptime = std::strtod(uptimeLine->c_str(), &end);
    if (end == uptimeLine->c_str() || !(uptime >= 0))
        return std::nullopt;
    const std::string taskFolder = SystemPath("/proc/self/task");
    DIR* folder = opendir(taskFolder.c_str());
    if (folder == nullptr)
        return std::nullopt;
    std::vector<double> usages;
    while (const dirent* entry = readdir(folder))
    {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        std::optional<std::string> line =
            ReadFirstLine("/proc/self/task/" + std::string(entry->d_name) + "/stat");
        if (!line.has_value())
            continue; // the thread ended meanwhile
        // After the name: utime is field 14, stime 15 and starttime 22 of the line, so 11, 12 and
        // 19 from the state.
        std::vector<std::string> fields = StatFieldsAfterName(*line);
        uint64_t user = 0;
        uint64_t system = 0;
        uint64_t start = 0;
        if (fields.size() < 20 || !ParseUnsigned(fields[11], user) || !ParseUnsigned(fields[12], system) ||
            !ParseUnsigned(fields[19], start))
            continue;
        const double ran = double(user + system) / double(ticksPerSecond);
        const double lived = uptime - double(start) / double(ticksPerSecond);
        double usage = lived > 0 ? ran / lived : 0;
        usages.push_back(usage < 0 ? 0 : (usage > 1 ? 1 : usage));
    }
    closedir(folder);
    return usages;
}

std::string CopyFullUserName()
{
    std::string name;
    std::string fullName;
    if (!ReadAccount(name, fullName))
        return std::string();
    return fullName.empty() ? name : fullName;
}

std::string CopyUserName()
{
    std::string name;
    std::string fullName;
    return ReadAccount(name, fullName) ? name : std::string();
}

} // namespace kova::sys
