// Probe windows for the tests of the Win32 backend: a dialog from a real template that records
// what reaches it and runs scripted steps inside its own modal loop; Windows test support.
#pragma once

#include "platform/win32/ui_win32.h"

#include "platform/ui/dialog.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace mwtest {

constexpr unsigned WM_PROBE = WM_USER + 100;
// A dialog that nobody ends in this time ends itself with kStalled, so that no test hangs.
constexpr unsigned kWatchdogMs = 20000;
constexpr std::uintptr_t kWatchdogTimer = 0x5157;
constexpr int kStalled = -99;

// Installs a Win32 backend for the scope and puts the previous one back.
class CWin32UiScope {
public:
    CWin32UiScope() : m_pUi(CreateWin32Ui()) { m_pPrevious = SetUiBackend(m_pUi.get()); }
    ~CWin32UiScope() { SetUiBackend(m_pPrevious); }
    CUiBackend& Ui() { return *m_pUi; }

private:
    std::unique_ptr<CUiBackend> m_pUi;
    CUiBackend* m_pPrevious = nullptr;
};

class CProbeDlg : public CDialog {
public:
    explicit CProbeDlg(int nTemplate, CUiWindow* pParent = nullptr)
        : CProbeDlg(GetDialogTemplate(nTemplate), pParent) {}
    // A template of the test's own, which outlives the dialog.
    explicit CProbeDlg(const CDlgTemplate& tmpl, CUiWindow* pParent = nullptr)
        : CDialog(tmpl, pParent) {
        MapMessage(WM_PROBE, [this](WPARAM w, LPARAM l) {
            m_arrPosts.push_back(static_cast<int>(w));
            if (m_fnOnPost)
                m_fnOnPost(w, l);
            return LRESULT{static_cast<LRESULT>(w) + 1};
        });
    }

    // Steps run one after another as posted work once the dialog runs; each is posted when the
    // one before has returned, so input that a step posts is handled before the next step.
    void Then(std::function<void()> fnStep) { m_steps.push_back(std::move(fnStep)); }

    // Records WM_COMMAND (id, notification) pairs of the control as "id/notify".
    void RecordCommand(int nId, int nNotify) {
        MapCommand(nId, nNotify, [this, nId, nNotify] {
            m_arrNotified.push_back(std::to_string(nId) + "/" + std::to_string(nNotify));
        });
    }
    HWND Hwnd() const { return Win32WindowOf(*this); }
    HWND Item(int nId) const { return Win32ControlOf(*this, nId); }

    std::vector<int> m_arrPosts;
    std::vector<std::string> m_arrNotified;
    std::vector<CSize> m_arrSizes;
    std::vector<std::uintptr_t> m_arrTimers;
    int m_nPaints = 0;
    bool m_bPaintedMinimized = false;
    bool m_bSwallowKeys = false;
    std::vector<unsigned> m_arrMouse;
    std::function<void(WPARAM, LPARAM)> m_fnOnPost;
    std::function<void(std::uintptr_t)> m_fnOnTimer;
    std::function<void()> m_fnOnInit;
    std::function<CRect(CSizingEdge, const CRect&)> m_fnOnSizing;

    bool PreTranslateMessage(const CUiMessage& msg) override {
        if (msg.nMsg == WM_MOUSEMOVE || msg.nMsg == WM_LBUTTONDOWN)
            m_arrMouse.push_back(msg.nMsg);
        return m_bSwallowKeys && msg.nMsg == WM_KEYDOWN;
    }
    bool OnPaint(CPaintSurface& surface) override {
        ++m_nPaints;
        if (IsMinimized()) {
            m_bPaintedMinimized = true;
            surface.DrawIcon({0, 0}, IDR_MAINFRAME, {32, 32});
            return true;
        }
        return false;
    }

protected:
    bool OnInitDialog() override {
        SetTimer(kWatchdogTimer, kWatchdogMs);
        if (m_fnOnInit)
            m_fnOnInit();
        RunNextStep();
        return true;
    }
    void OnTimer(std::uintptr_t nId) override {
        if (nId == kWatchdogTimer) {
            ADD_FAILURE() << "dialog " << Template().nId << " stalled";
            EndDialog(kStalled);
            return;
        }
        m_arrTimers.push_back(nId);
        if (m_fnOnTimer)
            m_fnOnTimer(nId);
    }
    CRect OnSizing(CSizingEdge edge, const CRect& rcProposed) override {
        return m_fnOnSizing ? m_fnOnSizing(edge, rcProposed) : rcProposed;
    }
    void OnSize(int cx, int cy) override { m_arrSizes.push_back({cx, cy}); }

private:
    void RunNextStep() {
        if (m_steps.empty())
            return;
        PostWork([this](CUiWindow&) {
            auto fn = std::move(m_steps.front());
            m_steps.pop_front();
            fn();
            if (IsWindow())
                RunNextStep();
        });
    }
    std::deque<std::function<void()>> m_steps;
};

} // namespace mwtest
