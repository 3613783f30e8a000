#include "shared/messages_win.h"

#include "shared/names.h"

namespace {

RegisteredMessages RegisterMessages() {
    RegisteredMessages messages;
    messages.configDlg = RegisterWindowMessageA(kConfigDlgMessage);
    messages.requestObject = RegisterWindowMessageA(kRequestObjectMessage);
    messages.loadPage = RegisterWindowMessageA(kLoadPageMessage);
    messages.configUpdate = RegisterWindowMessageA(kConfigUpdateMessage);
    return messages;
}

}  // namespace

const RegisteredMessages gMessages = RegisterMessages();
