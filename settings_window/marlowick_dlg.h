// The main window: device list, settings, options and the device's status page in one dialog, in
// its normal, file, monitor and queue layouts; portable. Its members are defined by concern:
//   marlowick_dlg.cpp      construction, initialisation, the layouts, sizing, painting, closing
//   device_list.cpp        Refresh and the choice of the target device
//   settings_check.cpp     the settings check, the send, Transfer and the Confirm Dialog box
//   folder_browser.cpp     the destination folder browser
//   status_page.cpp        the device's status page
//   file_association.cpp   the .torrent association and Set
#pragma once

#include "app/app_services.h"
#include "app/settings.h"
#include "infotip/xinfotip.h"
#include "platform/ui/dialog.h"
#include "upload/varnel.h"

#include <optional>
#include <string>
#include <vector>

class CDeviceList;
class CTextOps;

// The message another process sends to close the main window.
constexpr unsigned WM_CLOSE_MAIN = WM_USER + 1235;

// The destination below the device that a folder chosen in the browser gives: the part of the path
// after the root text ("\\" and the device's name) and a backslash, in the path's own case; nothing
// when the folder does not lie below that device (or there is no device, or no folder below it).
std::optional<std::string> DestinationFromFolder(const std::string& strRoot,
                                                 const std::string& strPath, const CTextOps& text);

class CMarlowickDlg : public CDialog, public CMarlowickSettings {
public:
    explicit CMarlowickDlg(CAppServices services);
    ~CMarlowickDlg() override;

    // Start-up's setters.
    bool SetTorrentFile(const std::string& strPath) {
        m_strTorrentFile = strPath;
        return true;
    }
    void SetFileMode(bool bFileMode) { m_bFileMode = bFileMode; }
    void SetMonitorMode(bool bMonitorMode) { m_bMonitorMode = bMonitorMode; }
    void SetQueueMode(bool bQueueMode) { m_bQueueMode = bQueueMode; }

    // ---- Settings check and send
    // Takes account, password, target and destination from the boxes, refuses incomplete
    // settings with a message, and checks the account with the selected device.
    bool CheckSettings();
    // Sends m_strTorrentFile with the settings (the busy dialog, or the queue window in queue
    // mode) and tells the outcome; true only after a send the device accepted.
    bool fnFileTransfer(const std::string& strPath);

    // ---- Folder browser: 1 when a folder was accepted, 2 when the user cancelled.
    int BrowseDestination();

    // ---- Association
    bool IsFileAssociationActive();

    // ---- State (read by tests as the program reads it)
    bool m_bFileMode = false;
    bool m_bMonitorMode = false;
    bool m_bQueueMode = false;
    std::string m_strTorrentFile;
    int m_hIcon = 0; // icon resource id of the window, big and small
    CXInfoTip m_infoTip;
    std::vector<std::string> m_strlistDeviceIP; // dotted address of list line i
    std::string m_strTargetName;
    bool m_bBrowsing = false;
    bool m_bShowDevicePage = false;

protected:
    bool OnInitDialog() override;
    bool PreTranslateMessage(const CUiMessage& msg) override;
    CRect OnSizing(CSizingEdge edge, const CRect& rcProposed) override;
    void OnSize(int /*cx*/, int /*cy*/) override {} // the layout is OnSizing's alone
    void OnDestroy() override;
    bool OnPaint(CPaintSurface& surface) override;
    // Button 1 is Set (OK in the monitor layout): the window stays open.
    void OnOK() override { OnSet(); }

    // ---- Handlers
    void OnRefresh();
    void OnSelchangeDeviceList();
    void OnBnClickedBrowse();
    void OnSet();
    void OnCheckFileAssociation();
    void OnBnClickedTransfer();
    void OnBnClickedConfirmDialog();
    void OnBnClickedMonitorPage();
    LRESULT OnCloseMain(WPARAM wParam, LPARAM lParam);

private:
    // The status page's place while it shows (client pixels), and the window's sizes.
    static constexpr int kPageLeft = 270;
    static constexpr int kPageTop = 12;
    static constexpr int kPageHeight = 518;
    static constexpr int kNarrowWidth = 270;

    // Layout (marlowick_dlg.cpp)
    void LayoutFileMode();
    void LayoutMonitorMode();
    void LayoutQueueMode();
    void LayoutNormalMode();
    int TopOffset() const;
    // The layout's sizes are pixels of the template's font at 6 x 13 base units (MS Sans Serif 8
    // at 96 dpi, and the headless metrics); a desktop whose font gives other base units (GTK's
    // interface font) gets them in proportion, so that the page never covers the settings and a
    // drag never cuts them. Positions on the screen are not scaled.
    int LayoutX(int nPixels) const;
    int LayoutY(int nPixels) const;
    void MoveButtonUpTo(int nButton, int nBox);
    void ShortenWindowBy(int nHeight);
    void NarrowWindow();
    void HideBrowser();
    void FillBoxesFromSettings();
    void SetAssociationCaption(bool bActive);

    // Device list (device_list.cpp)
    void LookUpSavedEntry(const std::string& strName);
    void OpenDevicePath(const std::string& strName);

    // Queue mode: opens the transfer queue window with the job's connection and the path
    // (transfer_queue.cpp).
    void RunTransferQueue(const NAS_BTDOWNLOAD_PARAM& job, const std::string& strPath);

    // Status page (status_page.cpp)
    std::string DevicePageUrl() const;
    void NavigateDevicePage();

    CSettingsStore Store() const;
    void ShowStoreFailure(const CSettingsStore& store);
    int MessageBoxOk(const std::string& strText);

    CAppServices m_services;
    const CTextOps& m_text;
};
