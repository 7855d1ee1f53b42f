#include "platform/mac/frameworks/CFUserNotification.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace kova::cf
{

struct UserNotification
{
    std::atomic<int32_t> fRefCount{1};
    UserNotificationDescription fDescription;
    std::mutex fMutex;
    std::condition_variable fAnsweredChanged;
    bool fAnswered = false;
    bool fCancelled = false;
    int32_t fAnswer = 0;
    UserNotificationCallBack fCallBack = nullptr;
    void* fInfo = nullptr;
    // The zenity child showing the alert, or -1.
    pid_t fChild = -1;
};

namespace
{

const char* kDefaultTitle = "OK";

std::string TitleOf(const UserNotificationButton& inButton)
{
    return inButton.fTitle.empty() ? kDefaultTitle : inButton.fTitle;
}

void AppendJSONString(std::string& ioLine, const std::string& inText)
{
    ioLine += '"';
    for (unsigned char c : inText)
    {
        switch (c)
        {
        case '"':
            ioLine += "\\\"";
            break;
        case '\\':
            ioLine += "\\\\";
            break;
        case '\n':
            ioLine += "\\n";
            break;
        case '\r':
            ioLine += "\\r";
            break;
        case '\t':
            ioLine += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F)
            {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(c));
                ioLine += escaped;
            }
            else
            {
                ioLine += char(c);
            }
        }
    }
    ioLine += '"';
}

// One write, so that lines of concurrent alerts (and processes) never mix.
void AppendToNotificationLog(const UserNotificationDescription& inDescription, int32_t inAnswer)
{
    const char* logPath = std::getenv("KOVA_NOTIFICATION_LOG");
    if (logPath == nullptr || *logPath == 0)
        return;
    std::string line = "{\"title\":";
    AppendJSONString(line, inDescription.fHeader);
    line += ",\"message\":";
    AppendJSONString(line, inDescription.fMessage);
    line += ",\"buttons\":[";
    for (size_t i = 0; i < inDescription.fButtons.size(); ++i)
    {
        if (i > 0)
            line += ',';
        AppendJSONString(line, TitleOf(inDescription.fButtons[i]));
    }
    line += "],\"answer\":" + std::to_string(inAnswer) + "}\n";
    int file = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0)
        return;
    ssize_t written = write(file, line.data(), line.size());
    (void)written;
    close(file);
}

// The answer KOVA_NOTIFICATION_ANSWER gives, when set.
bool AnswerFromEnvironment(const UserNotificationDescription& inDescription, int32_t& outAnswer)
{
    const char* wanted = std::getenv("KOVA_NOTIFICATION_ANSWER");
    if (wanted == nullptr)
        return false;
    outAnswer = inDescription.fButtons.front().fAnswer;
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(wanted, &end, 10);
    bool isNumber = *wanted != 0 && end != nullptr && *end == 0 && errno == 0;
    for (const UserNotificationButton& button : inDescription.fButtons)
    {
        if (isNumber ? button.fAnswer == number : TitleOf(button) == wanted)
        {
            outAnswer = button.fAnswer;
            break;
        }
    }
    return true;
}

bool HasDesktopSession()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
    {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0)
            return true;
    }
    return false;
}

std::string FindInPath(const char* inName)
{
    const char* path = std::getenv("PATH");
    std::string elements = path != nullptr ? path : "";
    size_t start = 0;
    while (start <= elements.size())
    {
        size_t end = elements.find(':', start);
        if (end == std::string::npos)
            end = elements.size();
        std::string folder = elements.substr(start, end - start);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + inName;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// Starts zenity on the alert, its standard output on a pipe; -1 when it cannot be started.
pid_t StartZenity(const std::string& inZenity, const UserNotificationDescription& inDescription,
                  int& outOutput)
{
    std::vector<std::string> arguments{inZenity};
    const std::vector<UserNotificationButton>& buttons = inDescription.fButtons;
    if (buttons.size() == 1)
        arguments.push_back(inDescription.fCaution ? "--warning" : "--info");
    else
        arguments.push_back("--question");
    arguments.push_back("--no-markup");
    arguments.push_back("--title=" + inDescription.fHeader);
    arguments.push_back("--text=" +
                        (inDescription.fMessage.empty() ? inDescription.fHeader : inDescription.fMessage));
    arguments.push_back("--ok-label=" + TitleOf(buttons[0]));
    if (buttons.size() > 1)
        arguments.push_back("--cancel-label=" + TitleOf(buttons[1]));
    if (buttons.size() > 2)
        arguments.push_back("--extra-button=" + TitleOf(buttons[2]));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    if (posix_spawn(&child, inZenity.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        child = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    if (child < 0)
        close(output[0]);
    else
        outOutput = output[0];
    return child;
}

void SetAnswer(UserNotification* ioNotification, int32_t inAnswer)
{
    UserNotificationCallBack callBack;
    void* info;
    {
        std::lock_guard<std::mutex> lock(ioNotification->fMutex);
        if (ioNotification->fCancelled)
            inAnswer = ioNotification->fDescription.fDismissedAnswer;
        // Logged before anyone learns the answer: a caller that reads the log next finds it.
        AppendToNotificationLog(ioNotification->fDescription, inAnswer);
        ioNotification->fAnswer = inAnswer;
        ioNotification->fAnswered = true;
        callBack = std::exchange(ioNotification->fCallBack, nullptr);
        info = ioNotification->fInfo;
    }
    ioNotification->fAnsweredChanged.notify_all();
    if (callBack != nullptr)
        callBack(ioNotification, inAnswer, info);
}

// On a thread of its own, holding a reference: waits for zenity and answers by its result.
void WatchZenity(UserNotification* ioNotification, pid_t inChild, int inOutput)
{
    std::string printed;
    char buffer[256];
    ssize_t count;
    while ((count = read(inOutput, buffer, sizeof buffer)) != 0)
    {
        if (count > 0)
            printed.append(buffer, size_t(count));
        else if (errno != EINTR)
            break;
    }
    close(inOutput);
    while (!printed.empty() && (printed.back() == '\n' || printed.back() == '\r'))
        printed.pop_back();
    {
        // Once reaped, the id may name another process: Cancel must not signal it any more.
        std::lock_guard<std::mutex> lock(ioNotification->fMutex);
        ioNotification->fChild = -1;
    }
    int status = 0;
    while (waitpid(inChild, &status, 0) < 0 && errno == EINTR)
    {
    }
    const UserNotificationDescription& description = ioNotification->fDescription;
    const std::vector<UserNotificationButton>& buttons = description.fButtons;
    int32_t answer = description.fDismissedAnswer;
    int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (exitCode == 0)
        answer = buttons[0].fAnswer;
    else if (buttons.size() > 2 && !printed.empty() && printed == TitleOf(buttons[2]))
        answer = buttons[2].fAnswer;
    else if (exitCode == 1 && buttons.size() > 1)
        answer = buttons[1].fAnswer;
    SetAnswer(ioNotification, answer);
    UserNotificationRelease(ioNotification);
}

} // namespace

UserNotification* UserNotificationCreate(const UserNotificationDescription& inDescription)
{
    if (inDescription.fButtons.empty())
        return nullptr;
    UserNotification* notification = new (std::nothrow) UserNotification;
    if (notification == nullptr)
        return nullptr;
    notification->fDescription = inDescription;
    int32_t answer = inDescription.fButtons.front().fAnswer;
    if (!AnswerFromEnvironment(inDescription, answer) && HasDesktopSession())
    {
        std::string zenity = FindInPath("zenity");
        int output = -1;
        pid_t child = zenity.empty() ? -1 : StartZenity(zenity, inDescription, output);
        if (child > 0)
        {
            notification->fChild = child;
            UserNotificationRetain(notification);
            try
            {
                std::thread(WatchZenity, notification, child, output).detach();
                return notification;
            }
            catch (const std::system_error&)
            {
                // No thread to wait with: the alert is taken away and answered as dismissed.
                kill(child, SIGTERM);
                notification->fCancelled = true;
                WatchZenity(notification, child, output);
                return notification;
            }
        }
    }
    SetAnswer(notification, answer);
    return notification;
}

void UserNotificationRetain(UserNotification* inNotification)
{
    inNotification->fRefCount.fetch_add(1, std::memory_order_relaxed);
}

void UserNotificationRelease(UserNotification* inNotification)
{
    if (inNotification != nullptr && inNotification->fRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete inNotification;
}

int32_t UserNotificationReceiveResponse(UserNotification* inNotification)
{
    std::unique_lock<std::mutex> lock(inNotification->fMutex);
    inNotification->fAnsweredChanged.wait(lock, [&] { return inNotification->fAnswered; });
    return inNotification->fAnswer;
}

void UserNotificationNotifyWhenAnswered(UserNotification* inNotification, UserNotificationCallBack inCallBack,
                                        void* inInfo)
{
    int32_t answer;
    {
        std::lock_guard<std::mutex> lock(inNotification->fMutex);
        if (!inNotification->fAnswered)
        {
            inNotification->fCallBack = inCallBack;
            inNotification->fInfo = inInfo;
            return;
        }
        answer = inNotification->fAnswer;
    }
    inCallBack(inNotification, answer, inInfo);
}

void UserNotificationCancel(UserNotification* inNotification)
{
    std::lock_guard<std::mutex> lock(inNotification->fMutex);
    if (inNotification->fAnswered)
        return;
    inNotification->fCancelled = true;
    if (inNotification->fChild > 0)
        kill(inNotification->fChild, SIGTERM);
}

} // namespace kova::cf
