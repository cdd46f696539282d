// The dialog's message routing, on a real dialog made from a resource template: the derived
// table wins over the base's, commands match both code and id, every WM_CTLCOLOR* reaches the
// one colour handler and its brush goes back to the system, Default() leaves a message to the
// dialog manager, and owner-drawn controls get their own WM_DRAWITEM.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "controls.h"
#include "dialog.h"

namespace {

#include "dialog_test_resource.h"

class BaseDialog : public winfx::CDialogEx {
public:
    BaseDialog() : CDialogEx(kTestDialogId) {}
    std::vector<const char*> calls;

protected:
    const winfx::MessageMap* GetMessageMap() const override { return &messageMap; }
    LRESULT OnBaseUser(WPARAM, LPARAM) { calls.push_back("base app"); return 1; }
    LRESULT OnBaseUser2(WPARAM, LPARAM) { calls.push_back("base app+2"); return 5; }
    static const winfx::MessageMapEntry entries[];
    static const winfx::MessageMap messageMap;
};

const winfx::MessageMapEntry BaseDialog::entries[] = {
    WINFX_ON_MESSAGE(WM_APP, &BaseDialog::OnBaseUser),
    WINFX_ON_MESSAGE(WM_APP + 2, &BaseDialog::OnBaseUser2),
    WINFX_END_MESSAGE_MAP,
};
const winfx::MessageMap BaseDialog::messageMap = {&winfx::CDialogEx::messageMap, entries};

class RecordingButton : public winfx::CBitmapButton {
public:
    int draws = 0;
    void DrawItem(const DRAWITEMSTRUCT&) override { ++draws; }
};

class TestDialog : public BaseDialog {
public:
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    RecordingButton button;
    winfx::CButton check;
    LRESULT results[6] = {};
    int clicks = 0;
    int defaults = 0;
    int colours = 0;

    ~TestDialog() override { DeleteObject(brush); }

protected:
    const winfx::MessageMap* GetMessageMap() const override { return &messageMap; }
    void DoDataExchange(winfx::CDataExchange* dx) override { winfx::DDX_Control(dx, kCheckId, check); }

    BOOL OnInitDialog() override
    {
        CDialogEx::OnInitDialog();
        button.SubclassDlgItem(kButtonId, *this);
        results[0] = SendMessage(WM_APP);      // derived table wins
        results[1] = SendMessage(WM_APP + 2);  // falls through to the base table
        results[2] = SendMessage(WM_APP + 1);  // Default(): left to the dialog manager
        HDC dc = GetDC(m_hWnd);
        results[3] = SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd));
        results[4] = SendMessage(WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd));
        ReleaseDC(m_hWnd, dc);
        SendMessage(WM_COMMAND, MAKEWPARAM(kButtonId, BN_DOUBLECLICKED));  // other code: no match
        SendMessage(WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED));
        DRAWITEMSTRUCT item = {};
        item.CtlID = kButtonId;
        results[5] = SendMessage(WM_DRAWITEM, kButtonId, reinterpret_cast<LPARAM>(&item));
        check.SetCheck(BST_CHECKED);
        EndDialog(42);
        return TRUE;
    }

    LRESULT OnUser(WPARAM, LPARAM) { calls.push_back("derived app"); return 7; }
    LRESULT OnUser1(WPARAM, LPARAM) { ++defaults; return Default(); }
    LRESULT OnColour(WPARAM, LPARAM) { ++colours; return reinterpret_cast<LRESULT>(brush); }
    void OnClicked() { ++clicks; }

    static const winfx::MessageMapEntry entries[];
    static const winfx::MessageMap messageMap;
};

const winfx::MessageMapEntry TestDialog::entries[] = {
    WINFX_ON_MESSAGE(WM_APP, &TestDialog::OnUser),
    WINFX_ON_MESSAGE(WM_APP + 1, &TestDialog::OnUser1),
    WINFX_ON_CTLCOLOR(&TestDialog::OnColour),
    WINFX_ON_COMMAND(BN_CLICKED, kButtonId, &TestDialog::OnClicked),
    WINFX_END_MESSAGE_MAP,
};
const winfx::MessageMap TestDialog::messageMap = {&BaseDialog::messageMap, entries};

TEST(Dialog, MessagesAreRoutedThroughTheTablesOfTheClassAndItsBases)
{
    TestDialog dialog;
    EXPECT_EQ(dialog.DoModal(), 42);

    EXPECT_EQ(dialog.results[0], 7);
    EXPECT_EQ(dialog.results[1], 5);
    EXPECT_EQ(dialog.results[2], 0);
    EXPECT_EQ(dialog.defaults, 1);
    EXPECT_EQ(dialog.results[3], reinterpret_cast<LRESULT>(dialog.brush));
    EXPECT_EQ(dialog.results[4], reinterpret_cast<LRESULT>(dialog.brush));
    EXPECT_EQ(dialog.colours, 2);
    EXPECT_EQ(dialog.clicks, 1);
    EXPECT_EQ(dialog.button.draws, 1);
    EXPECT_EQ(dialog.results[5], TRUE);
    ASSERT_EQ(dialog.calls.size(), 2u);
    EXPECT_STREQ(dialog.calls[0], "derived app");
    EXPECT_STREQ(dialog.calls[1], "base app+2");
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);  // unbound once the dialog has ended
}

}  // namespace
