// Mounting a device's network node and its shares through GIO, answering the device's password
// questions with the window's account; Linux platform code.
#pragma once

#include "platform/ui/ui_types.h"

#include <functional>
#include <string>

typedef struct _GMountOperation GMountOperation;

// Makes the mount operation that asks the user (a GtkMountOperation); a new reference.
using CAskUserOperation = std::function<GMountOperation*()>;

// Mounts strUri (smb://HOST/) and then every share the host lists, without waiting: the calls
// that follow run on the thread's main loop. When the device asks for a password, the mount
// answers with the account (when it names a user), then anonymously; when the device refused
// both, the root's mount asks the user through fnAskUser's operation (none: it gives up), and the
// shares are mounted with what the user gave. fnDone (may be empty) learns whether the root
// was mounted once every mount has ended; mounts that take longer than a bound (not counting the
// time the user is asked) are cancelled.
void MountSmbNode(const std::string& strUri, const CNetworkAccount& account,
                  CAskUserOperation fnAskUser, std::function<void(bool bMounted)> fnDone);
