// Our stand-in for the user notifications of CoreFoundation: system alerts with up to three
// buttons. A Linux server has no one to ask, so:
// - every alert is answered at once by its default button when there is no desktop session (no
//   DISPLAY nor WAYLAND_DISPLAY), and never blocks;
// - with a desktop session it is a zenity dialog when zenity is installed, else the same as
//   without a session;
// - KOVA_NOTIFICATION_ANSWER, when set, answers every alert at once without showing it: a number
//   picks the button of that answer, a text the button of that title, anything else (or a button
//   the alert lacks) the default button;
// - every answered alert is appended, in one write, as one JSON line {"title", "message",
//   "buttons" (titles, default first), "answer"} to the file KOVA_NOTIFICATION_LOG names when set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kova::cf
{

struct UserNotification;

struct UserNotificationButton
{
    // An empty title is the system's default one ("OK").
    std::string fTitle;
    // What the alert answers when this button is picked: the caller's number.
    int32_t fAnswer = 0;
};

struct UserNotificationDescription
{
    std::string fHeader;
    std::string fMessage;
    // The default button first, then the alternate and the other one; at least one.
    std::vector<UserNotificationButton> fButtons;
    // The answer of an alert closed or cancelled without a button.
    int32_t fDismissedAnswer = 0;
    bool fCaution = false;
};

using UserNotificationCallBack = void (*)(UserNotification* inNotification, int32_t inAnswer, void* inInfo);

// Shows the alert; one reference for the caller. Null when it cannot be shown.
UserNotification* UserNotificationCreate(const UserNotificationDescription& inDescription);
void UserNotificationRetain(UserNotification* inNotification);
// Null is ignored.
void UserNotificationRelease(UserNotification* inNotification);
// Waits until the alert is answered and returns the answer.
int32_t UserNotificationReceiveResponse(UserNotification* inNotification);
// Calls inCallBack once with the answer: on the calling thread at once when the alert is answered
// already, else on a thread of the stand-in's when it is. Once per alert.
void UserNotificationNotifyWhenAnswered(UserNotification* inNotification, UserNotificationCallBack inCallBack,
                                        void* inInfo);
// Takes the alert away: it counts as dismissed unless answered already.
void UserNotificationCancel(UserNotification* inNotification);

} // namespace kova::cf
