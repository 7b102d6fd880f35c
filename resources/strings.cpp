// The program's string table; portable.
#include "resources/resources.h"

#include <map>

namespace {
// The texts stand exactly as the program has always shown them, spelling included.
const std::map<int, std::string>& StringTable() {
    static const std::map<int, std::string> table = {
        {IDS_CANCEL, "Cancel"},
        {IDS_SELECT_FOLDER, "Plseas select a folder from the list:"},
        {IDS_SELECT_DEVICE_FOLDER, "Please select current device's folder."},
        {IDS_APP_TITLE, "BT Download Setting"},
        {IDS_SEARCH_DEVICE, "Search Device ..."},
        {IDS_ENABLE, "Enable"},
        {IDS_DISABLE, "Disable"},
        {IDS_FILE_ASSOCIATION, "File Association :"},
        {IDS_CHECK_DATA, "Check data ..."},
        {IDS_MONITOR_TITLE, "BT Download Status Monitor"},
        {IDS_OK, "OK"},
        {IDS_BAD_ACCOUNT, "Incorrect Username or Password"},
        {IDS_BROWSE_FIRST, "Please press Browse and select Destination first!"},
        {IDS_ACCOUNT_FIRST, "Please input UserName and Password first!"},
        {IDS_TRANSFERRING, "File transferring ..."},
        {IDS_TRANSFER_ERROR, "File transfer error."},
        {IDS_TRANSFER_FINISH, "File transfer finish."},
        {IDS_CLOSE, "Close"},
        {IDS_COLUMN_FILE_NAME, "File Name"},
        {IDS_COLUMN_STATUS, "Status"},
        {IDS_STATUS_WAITING, "Waiting"},
        {IDS_STATUS_TRANSFERRING, "Transferring"},
        {IDS_STATUS_DONE, "Done"},
        {IDS_STATUS_FAIL, "Fail"},
    };
    return table;
}
} // namespace

std::string LoadResString(int nId) {
    const auto& table = StringTable();
    const auto it = table.find(nId);
    return it != table.end() ? it->second : std::string();
}
