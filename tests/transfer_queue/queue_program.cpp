// The program, run headless for the tests of hand-offs between processes: start-up with the real
// settings, upload, messages between processes and hand-off, a headless desktop in real time. It
// ends once every row of its queue is done or failed and nothing has changed for the seconds given
// in MW_QUEUE_IDLE_EXIT (default 3), and
// prints the queue's rows, one "status<TAB>path" line each; Linux test program.
#include "app/command_line.h"
#include "app/marlowick_app.h"
#include "app/program_paths.h"
#include "discovery/device_list.h"
#include "platform/headless/headless_driver.h"
#include "platform/process.h"
#include "resources/resources.h"
#include "transfer_queue/transfer_dlg.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    CLimitSingleInstance guard(kSingleInstanceMutexName);
    CHeadlessDriver ui;
    ui.Ui().SetServeRemote(true);
    ui.Ui().SetRealTime(true);
    const char* pszIdle = std::getenv("MW_QUEUE_IDLE_EXIT");
    const auto idleLimit = std::chrono::seconds(pszIdle ? std::atoi(pszIdle) : 3);

    CAppServices services;
    services.pJobs = CreateRealJobServices();
    services.pRegistry = std::shared_ptr<CRegistry>(OpenUserRegistry());
    services.pDeviceList = &g_DeviceList;
    services.pHandOff = CreateRealHandOff(services.pRegistry, kSettingsKey,
                                          SiblingProgram(GetModulePath(), "Marlowick"));

    // The queue window closes itself once nothing has changed in it for the idle limit.
    auto lastChange = std::chrono::steady_clock::now();
    std::string strLastRows;
    std::string strRows;
    auto rowsOf = [](const CTransferDlg& dlg) {
        std::string out;
        for (int i = 0; i < dlg.LvGetItemCount(IDC_TRANSFER_LIST); ++i)
            out += dlg.LvGetItemText(IDC_TRANSFER_LIST, i, 1) + "\t" +
                   dlg.LvGetItemText(IDC_TRANSFER_LIST, i, 0) + "\n";
        return out;
    };
    ui.ThenWhen(
        [&] {
            auto* pDlg = dynamic_cast<CTransferDlg*>(ui.ActiveDialog());
            if (!pDlg)
                return false;
            const std::string strNow = rowsOf(*pDlg);
            bool bOpen = pDlg->m_bTransferring;
            for (int i = 0; i < pDlg->LvGetItemCount(IDC_TRANSFER_LIST); ++i) {
                const std::string strStatus = pDlg->LvGetItemText(IDC_TRANSFER_LIST, i, 1);
                bOpen = bOpen || (strStatus != "Done" && strStatus != "Fail");
            }
            if (strNow != strLastRows || bOpen) {
                strLastRows = strNow;
                lastChange = std::chrono::steady_clock::now();
                return false;
            }
            return std::chrono::steady_clock::now() - lastChange >= idleLimit;
        },
        [&] {
            auto* pDlg = dynamic_cast<CTransferDlg*>(ui.ActiveDialog());
            strRows = rowsOf(*pDlg);
            pDlg->EndDialog(IDOK);
        });

    CMarlowickApp app(services, guard);
    app.InitInstance(JoinArguments(argc, argv));
    std::fputs(strRows.c_str(), stdout);
    return 0;
}
