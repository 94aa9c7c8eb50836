// The library as Explorer loads it: class objects, aggregation, the unload
// answer and what loading leaves behind.
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "common/class_ids.h"
#include "server/registration.h"
#include "tests/support/extension_library.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring StringValue(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    wchar_t buffer[1024];
    DWORD bytes = sizeof(buffer);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return L"<missing>";
    return buffer;
}

// A minimal outer object that keeps the aggregated inner unknown.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
    ComPtr<IUnknown> inner;
};

class EntryPoints : public testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_NE(library_.module(), nullptr) << "KTXShellExt.dll did not load";
    }
    void TearDown() override { CoUninitialize(); }
    ComPtr<IClassFactory> FolderFactory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(library_.GetClassObject(CLSID_ModuleFolder, IID_PPV_ARGS(&factory)), S_OK);
        return factory;
    }
    LoadedExtension library_;
};

}  // namespace

TEST(SearchOpenCommand, SearchApplicationBesideTheLibraryQuotedOrNot) {
    const std::wstring expected = L"\"C:\\Tools\\KTXSearchApp.exe\" \"%1\"";
    EXPECT_EQ(SearchOpenCommand(L"C:\\Tools\\x.dll"), expected);
    EXPECT_EQ(SearchOpenCommand(L"\"C:\\Tools\\x.dll\""), expected);
    // Only one quote is dropped at either end.
    EXPECT_EQ(SearchOpenCommand(L"\"\"C:\\Tools\\x.dll"), L"\"\"C:\\Tools\\KTXSearchApp.exe\" \"%1\"");
    EXPECT_EQ(SearchOpenCommand(L"x.dll"), L"\"\\KTXSearchApp.exe\" \"%1\"");
}

TEST_F(EntryPoints, ClassObjectsAreMadeOnceAndMakeFolders) {
    const CLSID unknownClass = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(library_.GetClassObject(unknownClass, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(library_.GetClassObject(CLSID_ModuleFolder, IID_IClassFactory, nullptr), E_POINTER);

    ComPtr<IClassFactory> first = FolderFactory(), second = FolderFactory();
    EXPECT_EQ(first.Get(), second.Get());
    ComPtr<IPersistFolder2> folder;
    ASSERT_EQ(first->CreateInstance(nullptr, IID_PPV_ARGS(&folder)), S_OK);
    CLSID clsid = {};
    EXPECT_EQ(folder->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ModuleFolder));
}

TEST_F(EntryPoints, AggregationOnlyThroughIUnknown) {
    ComPtr<IClassFactory> factory = FolderFactory();
    Outer outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IShellFolder, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);

    ASSERT_EQ(factory->CreateInstance(&outer, IID_PPV_ARGS(&outer.inner)), S_OK);
    ComPtr<IShellFolder> folder;
    ASSERT_EQ(outer.QueryInterface(IID_PPV_ARGS(&folder)), S_OK);
    // The inner object's interfaces answer IUnknown with the outer object and
    // count their references there.
    ComPtr<IUnknown> identity;
    ASSERT_EQ(folder.As(&identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    ULONG before = outer.refs;
    folder->AddRef();
    EXPECT_EQ(outer.refs, before + 1);
    folder->Release();
    // Releasing the inner unknown is what lets the library go.
    identity.Reset();
    folder.Reset();
    factory.Reset();
    EXPECT_EQ(library_.CanUnloadNow(), S_FALSE);
    outer.inner.Reset();
    EXPECT_EQ(library_.CanUnloadNow(), S_OK);
}

TEST_F(EntryPoints, UnloadOnlyWhenNothingIsAliveOrLocked) {
    EXPECT_EQ(library_.CanUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory = FolderFactory();
    // A client's reference to a class object keeps the library too.
    EXPECT_EQ(library_.CanUnloadNow(), S_FALSE);

    ComPtr<IShellFolder> folder;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&folder)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(library_.CanUnloadNow(), S_FALSE);
    folder.Reset();
    EXPECT_EQ(library_.CanUnloadNow(), S_FALSE);  // still locked

    factory = FolderFactory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(library_.CanUnloadNow(), S_OK);
}

TEST(Loading, SetsUpTheModuleAndUnloadingTakesItsWindowClassesAway) {
    WNDCLASSEXW info = {sizeof(info)};
    {
        LoadedExtension library;
        ASSERT_NE(library.module(), nullptr);
        auto hallole = library.Proc<const LONG*>("hallole");
        ASSERT_NE(hallole, nullptr);
        EXPECT_EQ(*hallole, 32);
        EXPECT_TRUE(GetClassInfoExW(library.module(), L"KTX_WEBVIEW_CLASS_NAME", &info));
        EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"KTX Parent Window", &info));
        // The search handler's menu text, rewritten at every load.
        EXPECT_EQ(StringValue(HKEY_CURRENT_USER,
                              L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FindExtensions\\"
                              L"Static\\VelkorMFlashSearchHandler\\0"),
                  L"Find on module file system...");
    }
    EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"KTX Parent Window", &info));
    // And a second load registers them again.
    LoadedExtension again;
    EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"KTX Parent Window", &info));
}
