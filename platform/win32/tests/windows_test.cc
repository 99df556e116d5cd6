#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/win32/tests/recorder.h"

namespace win32_test {
namespace {

using Log = std::vector<std::pair<HWND, UINT>>;

const std::vector<UINT> kLifecycle = {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE,
                                      WM_CREATE,        WM_SIZE,     WM_MOVE,
                                      WM_PARENTNOTIFY,  WM_DESTROY,  WM_NCDESTROY};

class WindowsTest : public ::testing::Test {
 protected:
  Recorder recorder_;
};

TEST_F(WindowsTest, ClassesAreRegisteredOnceAndCannotGoWhileTheyHaveWindows) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.lpszClassName = L"recordingtestwindow";  // Names ignore case.
  EXPECT_EQ(RegisterClassW(&window_class), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  HWND window = recorder_.Create();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(UnregisterClassW(Recorder::kClassName, GetModuleHandleW(nullptr)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  EXPECT_TRUE(DestroyWindow(window));

  // A program's classes are found through its module (a null one names the system's).
  WNDCLASSW info{};
  const HINSTANCE module = GetModuleHandleW(nullptr);
  EXPECT_TRUE(GetClassInfoW(module, Recorder::kClassName, &info));
  EXPECT_TRUE(UnregisterClassW(Recorder::kClassName, module));
  EXPECT_FALSE(GetClassInfoW(module, Recorder::kClassName, &info));
  EXPECT_EQ(CreateWindowExW(0, Recorder::kClassName, L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(WindowsTest, CreationAndDestructionSendTheirMessagesInWindowsOrder) {
  HWND parent = recorder_.Create();
  HWND first = recorder_.Create(parent, WS_CHILD, RECT{0, 0, 10, 10});
  HWND grandchild = recorder_.Create(first, WS_CHILD, RECT{0, 0, 5, 5});
  HWND second = recorder_.Create(parent, WS_CHILD, RECT{10, 0, 20, 10});
  ASSERT_TRUE(parent && first && grandchild && second);
  EXPECT_EQ(GetParent(grandchild), first);
  EXPECT_EQ(GetAncestor(grandchild, GA_ROOT), parent);
  EXPECT_TRUE(IsChild(parent, grandchild));

  const Log created = recorder_.Messages(kLifecycle);
  const Log expected_creation = {{parent, WM_GETMINMAXINFO}, {parent, WM_NCCREATE},
                                 {parent, WM_NCCALCSIZE},    {parent, WM_CREATE},
                                 {parent, WM_SIZE},          {parent, WM_MOVE},
                                 {first, WM_NCCREATE},       {first, WM_NCCALCSIZE},
                                 {first, WM_CREATE},         {first, WM_SIZE},
                                 {first, WM_MOVE},           {parent, WM_PARENTNOTIFY},
                                 {grandchild, WM_NCCREATE},  {grandchild, WM_NCCALCSIZE},
                                 {grandchild, WM_CREATE},    {grandchild, WM_SIZE},
                                 {grandchild, WM_MOVE},      {first, WM_PARENTNOTIFY},
                                 {parent, WM_PARENTNOTIFY},  {second, WM_NCCREATE},
                                 {second, WM_NCCALCSIZE},    {second, WM_CREATE},
                                 {second, WM_SIZE},          {second, WM_MOVE},
                                 {parent, WM_PARENTNOTIFY}};
  EXPECT_EQ(created, expected_creation);

  recorder_.Clear();
  EXPECT_TRUE(DestroyWindow(parent));
  // WM_DESTROY goes to the window and then down to its children; WM_NCDESTROY comes up
  // from the children to the window.
  const Log expected_destruction = {{parent, WM_DESTROY},       {first, WM_DESTROY},
                                    {grandchild, WM_DESTROY},   {second, WM_DESTROY},
                                    {grandchild, WM_NCDESTROY}, {first, WM_NCDESTROY},
                                    {second, WM_NCDESTROY},     {parent, WM_NCDESTROY}};
  EXPECT_EQ(recorder_.Messages(kLifecycle), expected_destruction);
  for (HWND window : {parent, first, grandchild, second}) EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowsTest, DestroyingAChildNotifiesItsParent) {
  HWND parent = recorder_.Create();
  HWND child = recorder_.Create(parent, WS_CHILD);
  recorder_.Clear();
  EXPECT_TRUE(DestroyWindow(child));
  const Log expected = {{parent, WM_PARENTNOTIFY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}};
  EXPECT_EQ(recorder_.Messages(kLifecycle), expected);
  EXPECT_EQ(LOWORD(recorder_.All()[0].wparam), WM_DESTROY);
  EXPECT_TRUE(DestroyWindow(parent));
  EXPECT_FALSE(DestroyWindow(parent));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowsTest, RefusedCreationLeavesNoWindow) {
  recorder_.OnMessage(WM_NCCREATE,
                      [](HWND, UINT, WPARAM, LPARAM) -> std::optional<LRESULT> { return FALSE; });
  EXPECT_EQ(recorder_.Create(), nullptr);
  EXPECT_EQ(recorder_.Count(WM_CREATE), 0);
  EXPECT_EQ(recorder_.Count(WM_NCDESTROY), 1);

  recorder_.OnMessage(WM_NCCREATE, nullptr);
  recorder_.OnMessage(WM_CREATE,
                      [](HWND, UINT, WPARAM, LPARAM) -> std::optional<LRESULT> { return -1; });
  recorder_.Clear();
  EXPECT_EQ(recorder_.Create(), nullptr);
  EXPECT_EQ(recorder_.Count(WM_DESTROY), 1);
  EXPECT_EQ(recorder_.Count(WM_NCDESTROY), 1);
  EXPECT_EQ(recorder_.Count(WM_SIZE), 0);
  // Both windows are gone, so the class can go.
  EXPECT_TRUE(UnregisterClassW(Recorder::kClassName, GetModuleHandleW(nullptr)));
}

TEST_F(WindowsTest, CreateParametersAndUserDataReachTheProcedure) {
  int marker = 0;
  LPVOID seen = nullptr;
  recorder_.OnMessage(WM_NCCREATE, [&](HWND window, UINT, WPARAM, LPARAM lparam) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    seen = create->lpCreateParams;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return std::optional<LRESULT>();
  });
  HWND window = CreateWindowExW(0, Recorder::kClassName, L"Title \u00e9", WS_OVERLAPPEDWINDOW, 1, 2,
                                3, 4, nullptr, nullptr, nullptr, &marker);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(seen, &marker);
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&marker));
  // Windows adds WS_CLIPSIBLINGS to every overlapped window.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)),
            DWORD{WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS});
  wchar_t title[32];
  EXPECT_EQ(GetWindowTextW(window, title, 32), 7);
  EXPECT_STREQ(title, L"Title \u00e9");
  EXPECT_TRUE(SetWindowTextW(window, L"Other"));
  EXPECT_EQ(GetWindowTextLengthW(window), 5);
  EXPECT_EQ(GetWindowTextW(window, title, 3), 2);
  EXPECT_STREQ(title, L"Ot");
  DestroyWindow(window);
}

TEST_F(WindowsTest, MovingSendsSizeOnlyWhenTheSizeChanges) {
  // A pop-up has no frame and no minimum size, so its window and client sizes agree.
  HWND window = recorder_.Create(nullptr, WS_POPUP, RECT{10, 20, 110, 70});
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(window, &rect));
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.top, 20);
  EXPECT_EQ(rect.right, 110);
  EXPECT_EQ(rect.bottom, 70);
  recorder_.Clear();

  EXPECT_TRUE(MoveWindow(window, 30, 40, 100, 50, TRUE));  // Moved, same size.
  EXPECT_EQ(recorder_.Count(WM_MOVE), 1);
  EXPECT_EQ(recorder_.Count(WM_SIZE), 0);

  EXPECT_TRUE(MoveWindow(window, 30, 40, 200, 150, TRUE));
  ASSERT_EQ(recorder_.Count(WM_SIZE), 1);
  for (const Received& item : recorder_.All()) {
    if (item.message == WM_SIZE) {
      EXPECT_EQ(LOWORD(item.lparam), 200);
      EXPECT_EQ(HIWORD(item.lparam), 150);
    }
  }
  ASSERT_TRUE(GetClientRect(window, &rect));
  EXPECT_EQ(rect.right, 200);
  EXPECT_EQ(rect.bottom, 150);

  // A procedure that handles WM_WINDOWPOSCHANGED itself gets no WM_SIZE, as on Windows.
  recorder_.OnMessage(WM_WINDOWPOSCHANGED,
                      [](HWND, UINT, WPARAM, LPARAM) { return std::optional<LRESULT>(0); });
  recorder_.Clear();
  EXPECT_TRUE(SetWindowPos(window, nullptr, 0, 0, 10, 10, SWP_NOZORDER | SWP_NOACTIVATE));
  EXPECT_EQ(recorder_.Count(WM_WINDOWPOSCHANGED), 1);
  EXPECT_EQ(recorder_.Count(WM_SIZE), 0);
  DestroyWindow(window);
}

TEST_F(WindowsTest, ChildCoordinatesAreRelativeToTheParent) {
  HWND parent = recorder_.Create(nullptr, WS_POPUP, RECT{100, 100, 300, 300});  // no frame
  HWND child = recorder_.Create(parent, WS_CHILD, RECT{10, 20, 30, 40});
  RECT rect{};
  GetWindowRect(child, &rect);
  EXPECT_EQ(rect.left, 110);
  EXPECT_EQ(rect.top, 120);
  POINT point{0, 0};
  ClientToScreen(child, &point);
  EXPECT_EQ(point.x, 110);
  ScreenToClient(parent, &point);
  EXPECT_EQ(point.x, 10);
  DestroyWindow(parent);
}

TEST_F(WindowsTest, ShowingActivatesAndFocusesAndHidingUndoesIt) {
  HWND window = recorder_.Create();
  EXPECT_FALSE(IsWindowVisible(window));
  recorder_.Clear();
  EXPECT_FALSE(ShowWindow(window, SW_SHOWNORMAL));  // It was hidden.
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetActiveWindow(), window);
  EXPECT_EQ(GetFocus(), window);  // The default WM_ACTIVATE handling focuses the window.
  const Log expected = {{window, WM_SHOWWINDOW}, {window, WM_ACTIVATE}, {window, WM_SETFOCUS}};
  EXPECT_EQ(recorder_.Messages({WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS}), expected);

  recorder_.Clear();
  EXPECT_TRUE(ShowWindow(window, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(recorder_.Count(WM_KILLFOCUS), 1);
  ASSERT_EQ(recorder_.Count(WM_ACTIVATE), 1);
  for (const Received& item : recorder_.All()) {
    if (item.message == WM_ACTIVATE) {
      EXPECT_EQ(LOWORD(item.wparam), WA_INACTIVE);
    }
  }
  DestroyWindow(window);
}

TEST_F(WindowsTest, ActivationMovesBetweenWindowsAndFocusFollows) {
  HWND first = recorder_.Create();
  HWND second = recorder_.Create();
  HWND child = recorder_.Create(first, WS_CHILD | WS_VISIBLE);
  ShowWindow(first, SW_SHOW);
  EXPECT_EQ(SetFocus(child), first);
  EXPECT_EQ(GetFocus(), child);
  recorder_.Clear();
  ShowWindow(second, SW_SHOW);
  EXPECT_EQ(GetActiveWindow(), second);
  EXPECT_EQ(GetFocus(), second);
  const Log expected = {{first, WM_ACTIVATE}, {second, WM_ACTIVATE}};
  EXPECT_EQ(recorder_.Messages({WM_ACTIVATE}), expected);
  EXPECT_EQ(recorder_.Count(WM_KILLFOCUS, child), 1);
  // A window that is shown without activation stays inactive.
  ShowWindow(first, SW_SHOWNA);
  EXPECT_EQ(GetActiveWindow(), second);
  DestroyWindow(first);
  DestroyWindow(second);
}

TEST_F(WindowsTest, AMessageOnlyWindowCanBecomeAChild) {
  HWND host = recorder_.Create();
  HWND view = recorder_.Create(HWND_MESSAGE, WS_CHILD | WS_VISIBLE, RECT{0, 0, 5, 5});
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(GetAncestor(view, GA_PARENT), nullptr);
  EXPECT_EQ(SetParent(view, host), nullptr);
  EXPECT_EQ(GetParent(view), host);
  EXPECT_TRUE(IsChild(host, view));
  EXPECT_EQ(SetParent(host, view), nullptr);  // A window cannot go below its own child.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  DestroyWindow(host);
  EXPECT_FALSE(IsWindow(view));
}

TEST_F(WindowsTest, WindowLongsCheckTheirIndex) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.cbWndExtra = static_cast<int>(sizeof(LONG_PTR));
  window_class.lpszClassName = L"WithExtraBytes";
  ASSERT_NE(RegisterClassW(&window_class), 0);
  HWND window =
      CreateWindowExW(0, L"WithExtraBytes", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(SetWindowLongPtrW(window, 0, 42), 0);
  EXPECT_EQ(GetWindowLongPtrW(window, 0), 42);
  EXPECT_EQ(GetWindowLongPtrW(window, 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(DefWindowProcW));
  DestroyWindow(window);
  EXPECT_TRUE(UnregisterClassW(L"WithExtraBytes", nullptr));
}

}  // namespace
}  // namespace win32_test
