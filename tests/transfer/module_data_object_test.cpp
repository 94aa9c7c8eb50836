// Module files leaving the module: the data object read as Explorer reads it
// on a drop, its formats and checks, the move hand-shake, cancelling, and
// the clipboard thread, against the substitute server on a fresh copy of the
// sample module.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "common/item_time.h"
#include "common/module_count.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "item_id/module_item_id.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"
#include "transfer/clipboard_formats.h"
#include "transfer/clipboard_thread.h"
#include "transfer/directory_data_format.h"
#include "transfer/hdrop_format.h"
#include "transfer/hdrop_staging.h"
#include "transfer/module_data_object.h"
#include "transfer/paste_operation.h"
#include "transfer/shell_id_list_format.h"
#include "transfer/view_address_format.h"

using Microsoft::WRL::ComPtr;

namespace {

CLIPFORMAT Cf(ModuleClipboardFormat format) { return ClipboardFormat(format); }

std::string ReadPcFile(const std::wstring& path) {
    std::string bytes;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return "<missing>";
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got)
        bytes.append(buffer, got);
    return bytes;
}

bool PcExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Pumps this thread's messages until `done` or the time is up.
template <class Done>
bool PumpUntil(Done done, DWORD timeoutMs = 10000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

// Waits for the last clipboard thread to end, serving this thread meanwhile.
bool ClipboardThreadEnded() {
    UniqueHandle thread(TakeLastClipboardThread());
    if (!thread.valid()) return true;
    return PumpUntil([&] { return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0; });
}

class DataObjectTest : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        ASSERT_EQ(S_OK, EnterComThread());
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(S_OK, module_.Create(&access_));
    }
    void TearDown() override {
        access_.Reset();
        LeaveComThread();
        EXPECT_EQ(expectedPrompts_, prompts_.Count()) << "no other message expected";
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    IdListHolder Item(const wchar_t* path) {
        IdListHolder item;
        EXPECT_EQ(S_OK, GetItemRecord(path, access_.Get(), item.out()));
        EXPECT_TRUE(item) << path;
        return item;
    }

    // A data object for items of one folder, made on this thread.
    ComPtr<IDataObject> Make(const wchar_t* folder, std::vector<const wchar_t*> paths,
                             DWORD effect = DROPEFFECT_COPY) {
        std::vector<IdListHolder> items;
        std::vector<LPCITEMIDLIST> lists;
        for (const wchar_t* path : paths) items.push_back(Item(path));
        for (const IdListHolder& item : items) lists.push_back(item.get());
        ComPtr<IDataObject> object;
        EXPECT_EQ(S_OK, CreateModuleDataObject(folder, nullptr, lists.data(),
                                               static_cast<UINT>(lists.size()), effect, nullptr,
                                               false, &object));
        return object;
    }

    void WriteModuleFile(const wchar_t* path, size_t size) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + i / 4096);
        ComPtr<IStream> stream;
        stream.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                        static_cast<UINT>(size)));
        UniqueBstr target(path);
        ASSERT_EQ(S_OK, access_->WriteFile(target.get(), stream.Get(), FILE_ATTRIBUTE_ARCHIVE));
    }

    LONG objectsBefore_ = 0;
    size_t expectedPrompts_ = 0;
    SubstituteModule module_;
    ComPtr<ModuleAccess> access_;
    PromptRecorder prompts_;
};

struct Descriptor {
    std::vector<FILEDESCRIPTORW> records;
};

Descriptor ReadDescriptor(IDataObject* object) {
    Descriptor result;
    UniqueStgMedium medium;
    EXPECT_EQ(S_OK, GetFormat(object, Cf(ModuleClipboardFormat::FileGroupDescriptorW),
                              medium.out()));
    GlobalLocked<BYTE> block(medium.get()->hGlobal);
    if (!block) return result;
    UINT count = 0;
    memcpy(&count, block.get(), 4);
    EXPECT_EQ(4 + 592 * static_cast<SIZE_T>(count), block.size() & ~static_cast<SIZE_T>(0));
    result.records.resize(count);
    if (count) memcpy(result.records.data(), block.get() + 4, 592 * count);
    return result;
}

// What Explorer does on a drop: the descriptor, then each file's contents,
// written below `target`.
void ConsumeLikeExplorer(IDataObject* object, const std::wstring& target,
                         std::vector<std::wstring>* names) {
    Descriptor descriptor = ReadDescriptor(object);
    for (size_t i = 0; i < descriptor.records.size(); ++i) {
        const FILEDESCRIPTORW& record = descriptor.records[i];
        names->push_back(record.cFileName);
        const std::wstring path = target + L"\\" + record.cFileName;
        if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CreateDirectoryW(path.c_str(), nullptr);
            continue;
        }
        FORMATETC format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::FileContents),
                                            static_cast<LONG>(i));
        UniqueStgMedium medium;
        ASSERT_EQ(S_OK, object->GetData(&format, medium.out())) << record.cFileName;
        ASSERT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), medium.get()->tymed);
        const SIZE_T size = GlobalSize(medium.get()->hGlobal);
        EXPECT_EQ(record.nFileSizeLow, size) << record.cFileName;
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                      nullptr));
        DWORD written = 0;
        WriteFile(file.get(), GlobalLock(medium.get()->hGlobal), record.nFileSizeLow, &written,
                  nullptr);
        GlobalUnlock(medium.get()->hGlobal);
    }
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"ktx-drop-" + std::to_wstring(GetTickCount());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace

TEST_F(DataObjectTest, ExplorerReadsDescriptorThenContents) {
    ComPtr<IDataObject> object = Make(L"\\A:\\Data", {L"\\A:\\Data\\Archive", L"\\A:\\Data\\Notes.txt"});
    ASSERT_TRUE(object);
    const std::wstring target = TempFolder();
    std::vector<std::wstring> names;
    ConsumeLikeExplorer(object.Get(), target, &names);
    EXPECT_EQ((std::vector<std::wstring>{L"Archive", L"Archive\\Deep", L"Archive\\Deep\\level3.bin",
                                         L"Archive\\old notes.txt", L"Notes.txt"}),
              names);
    for (const std::wstring& name : names) {
        const std::wstring modulePath = L"\\A:\\Data\\" + name;
        IdListHolder item = Item(modulePath.c_str());
        if (!(ItemAttributes(item.get()) & FILE_ATTRIBUTE_DIRECTORY))
            EXPECT_EQ(ReadPcFile(module_.PcPath(modulePath)), ReadPcFile(target + L"\\" + name))
                << name;
    }
    // Attributes and times as the module has them, in UTC.
    Descriptor descriptor = ReadDescriptor(object.Get());
    IdListHolder notes = Item(L"\\A:\\Data\\Archive\\old notes.txt");
    const FILEDESCRIPTORW& record = descriptor.records[3];
    EXPECT_EQ(0x7Cu, record.dwFlags);
    EXPECT_EQ(ItemAttributes(notes.get()), record.dwFileAttributes);
    FILETIME expected;
    ASSERT_TRUE(TimeToFileTime(ItemModified(notes.get()), &expected));
    EXPECT_EQ(0, CompareFileTime(&expected, &record.ftLastWriteTime));
    ASSERT_TRUE(TimeToFileTime(ItemCreated(notes.get()), &expected));
    EXPECT_EQ(0, CompareFileTime(&expected, &record.ftCreationTime));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, descriptor.records[0].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(0u, descriptor.records[0].nFileSizeLow);
    // Every file delivered: the progress dialog is gone.
    EXPECT_FALSE(static_cast<ModuleDataObject*>(object.Get())->HasProgressDialog());
    RemoveFolderTree(target);
}

TEST_F(DataObjectTest, EmptyFolderGivesOneRecordAndNoContents) {
    ComPtr<IDataObject> object = Make(L"\\A:\\Data", {L"\\A:\\Data\\Empty Folder"});
    Descriptor descriptor = ReadDescriptor(object.Get());
    ASSERT_EQ(1u, descriptor.records.size());
    EXPECT_STREQ(L"Empty Folder", descriptor.records[0].cFileName);
    EXPECT_TRUE(descriptor.records[0].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(0u, descriptor.records[0].nFileSizeLow);
    FORMATETC format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::FileContents), 0);
    STGMEDIUM medium = {};
    EXPECT_EQ(E_INVALIDARG, object->GetData(&format, &medium));
}

TEST_F(DataObjectTest, QueriesAreCheckedInOrder) {
    WriteModuleFile(L"\\A:\\Data\\zero.bin", 0);
    ComPtr<IDataObject> object = Make(L"\\A:\\Data", {L"\\A:\\Data\\zero.bin", L"\\A:\\Data\\README"});
    const CLIPFORMAT contents = Cf(ModuleClipboardFormat::FileContents);
    const CLIPFORMAT descriptor = Cf(ModuleClipboardFormat::FileGroupDescriptorW);
    DVTARGETDEVICE device = {};
    const struct {
        const char* what;
        FORMATETC format;
        HRESULT expected;
    } cases[] = {
        {"target device", {descriptor, &device, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_FORMATETC},
        {"icon aspect", {descriptor, nullptr, DVASPECT_ICON, -1, TYMED_HGLOBAL}, DV_E_DVASPECT},
        {"descriptor with an index", {descriptor, nullptr, DVASPECT_CONTENT, 0, TYMED_HGLOBAL}, DV_E_LINDEX},
        {"contents past the entries", {contents, nullptr, DVASPECT_CONTENT, 2, TYMED_HGLOBAL}, DV_E_LINDEX},
        {"contents without index", {contents, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_LINDEX},
        {"text", {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_FORMATETC},
        {"stream only, empty file", {contents, nullptr, DVASPECT_CONTENT, 0, TYMED_ISTREAM}, DV_E_TYMED},
        {"stream only, descriptor", {descriptor, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM}, DV_E_TYMED},
        {"contents", {contents, nullptr, DVASPECT_CONTENT, 1, TYMED_HGLOBAL}, S_OK},
    };
    for (const auto& c : cases) {
        FORMATETC format = c.format;
        EXPECT_EQ(c.expected, object->QueryGetData(&format)) << c.what;
    }
    EXPECT_EQ(E_INVALIDARG, object->QueryGetData(nullptr));

    // An empty file goes as a stream when a stream is allowed.
    FORMATETC both = {contents, nullptr, DVASPECT_CONTENT, 0, TYMED_HGLOBAL | TYMED_ISTREAM};
    UniqueStgMedium medium;
    ASSERT_EQ(S_OK, object->GetData(&both, medium.out()));
    EXPECT_EQ(static_cast<DWORD>(TYMED_ISTREAM), medium.get()->tymed);

    // Canonical forms.
    FORMATETC in = {contents, nullptr, DVASPECT_CONTENT, 1, TYMED_ISTREAM}, out = {};
    EXPECT_EQ(DATA_S_SAMEFORMATETC, object->GetCanonicalFormatEtc(&in, &out));
    EXPECT_EQ(1, out.lindex);
    EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), out.tymed);
    in.lindex = 9;
    EXPECT_EQ(S_OK, object->GetCanonicalFormatEtc(&in, &out));
    EXPECT_EQ(0, out.lindex);
    in = {descriptor, nullptr, DVASPECT_ICON, 0, TYMED_HGLOBAL};
    EXPECT_EQ(S_OK, object->GetCanonicalFormatEtc(&in, &out));
    EXPECT_EQ(-1, out.lindex);
    EXPECT_EQ(static_cast<DWORD>(DVASPECT_CONTENT), out.dwAspect);
    in.cfFormat = CF_TEXT;
    EXPECT_EQ(DV_E_FORMATETC, object->GetCanonicalFormatEtc(&in, &out));
}

TEST_F(DataObjectTest, FormatListsAndBlocks) {
    ComPtr<IDataObject> object = Make(L"\\A:\\Data", {L"\\A:\\Data\\Notes.txt", L"\\A:\\Data\\README"});
    auto list = [&](DWORD direction) {
        std::vector<CLIPFORMAT> formats;
        ComPtr<IEnumFORMATETC> e;
        EXPECT_EQ(S_OK, object->EnumFormatEtc(direction, &e));
        FORMATETC f;
        while (e && e->Next(1, &f, nullptr) == S_OK) {
            EXPECT_EQ(nullptr, f.ptd);
            EXPECT_EQ(-1, f.lindex);
            EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), f.tymed);
            formats.push_back(f.cfFormat);
        }
        return formats;
    };
    EXPECT_EQ((std::vector<CLIPFORMAT>{Cf(ModuleClipboardFormat::FileGroupDescriptorW),
                                       Cf(ModuleClipboardFormat::FileContents),
                                       Cf(ModuleClipboardFormat::PreferredDropEffect),
                                       Cf(ModuleClipboardFormat::DirectoryData),
                                       Cf(ModuleClipboardFormat::ViewAddress), CF_HDROP,
                                       Cf(ModuleClipboardFormat::ShellIdListArray)}),
              list(DATADIR_GET));
    EXPECT_EQ((std::vector<CLIPFORMAT>{Cf(ModuleClipboardFormat::PerformedDropEffect),
                                       Cf(ModuleClipboardFormat::PasteSucceeded),
                                       Cf(ModuleClipboardFormat::LogicalPerformedDropEffect),
                                       Cf(ModuleClipboardFormat::Converted),
                                       Cf(ModuleClipboardFormat::PreferredDropEffect),
                                       Cf(ModuleClipboardFormat::TargetClsid)}),
              list(DATADIR_SET));

    // The enumerator's own rules.
    ComPtr<IEnumFORMATETC> e, clone;
    ASSERT_EQ(S_OK, object->EnumFormatEtc(DATADIR_SET, &e));
    FORMATETC two[2];
    ULONG fetched = 0;
    EXPECT_EQ(E_POINTER, e->Next(2, two, nullptr));
    EXPECT_EQ(S_OK, e->Skip(4));
    ASSERT_EQ(S_OK, e->Clone(&clone));
    EXPECT_EQ(S_OK, e->Next(2, two, &fetched));
    EXPECT_EQ(S_FALSE, e->Next(2, two, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_FALSE, e->Skip(1));
    EXPECT_EQ(S_OK, clone->Next(1, two, nullptr));
    EXPECT_EQ(Cf(ModuleClipboardFormat::PreferredDropEffect), two[0].cfFormat);
    EXPECT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_OK, e->Next(1, two, nullptr));
    EXPECT_EQ(E_INVALIDARG, object->EnumFormatEtc(DATADIR_GET, nullptr));

    // The selection block: two items of \A:\Data start at 2 * 8 + 18.
    DirectoryData data;
    ASSERT_EQ(S_OK, ReadDirectoryData(object.Get(), &data));
    EXPECT_EQ(L"\\A:\\Data", data.folderPath);
    ASSERT_EQ(2u, data.items.size());
    EXPECT_STREQ(L"\\A:\\Data\\README", ItemPath(data.items[1].get()));
    DWORD first = 0;
    BYTE head[8];
    ASSERT_EQ(S_OK, ReadFormatBytes(object.Get(), Cf(ModuleClipboardFormat::DirectoryData), head, 8));
    memcpy(&first, head + 4, 4);
    EXPECT_EQ(2u * 8 + 18, first);

    ViewAddress address;
    ASSERT_EQ(S_OK, ReadViewAddress(object.Get(), &address));
    EXPECT_EQ(0u, address.viewToken);
    EXPECT_EQ(GetCurrentProcessId(), address.processId);
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), ReadPreferredDropEffect(object.Get()));

    // What a paste sees: the inventory of both sides.
    FormatInventory inventory;
    ASSERT_EQ(S_OK, TakeFormatInventory(object.Get(), &inventory));
    EXPECT_EQ(0x4C7u, inventory.get);
    EXPECT_EQ(0x238u, inventory.set);

    // SetData takes only its formats, as whole HGLOBAL blocks.
    ASSERT_EQ(S_OK, WriteDwordFormat(object.Get(), Cf(ModuleClipboardFormat::PreferredDropEffect),
                                     DROPEFFECT_MOVE));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_MOVE), ReadPreferredDropEffect(object.Get()));
    EXPECT_EQ(DV_E_FORMATETC, WriteDwordFormat(object.Get(), Cf(ModuleClipboardFormat::DirectoryData), 1));
    STGMEDIUM medium = {TYMED_ISTREAM};
    FORMATETC format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::Converted));
    format.tymed = TYMED_ISTREAM;
    EXPECT_EQ(DV_E_TYMED, object->SetData(&format, &medium, FALSE));
    format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::Converted), 0);
    EXPECT_EQ(DV_E_LINDEX, object->SetData(&format, &medium, FALSE));
    // A request that would take a stream too, with a memory block.
    format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::PreferredDropEffect));
    format.tymed = TYMED_HGLOBAL | TYMED_ISTREAM;
    STGMEDIUM block = {TYMED_HGLOBAL};
    block.hGlobal = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4);
    *static_cast<DWORD*>(GlobalLock(block.hGlobal)) = DROPEFFECT_COPY;
    GlobalUnlock(block.hGlobal);
    EXPECT_EQ(S_OK, object->SetData(&format, &block, TRUE));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), ReadPreferredDropEffect(object.Get()));
}

TEST_F(DataObjectTest, CancellingReturnsCancelledWithoutMessage) {
    WriteModuleFile(L"\\A:\\Data\\big.bin", 400000);
    ComPtr<IDataObject> object = Make(L"\\A:\\Data", {L"\\A:\\Data\\big.bin"});
    module_.SetLinkSpeed(50000);
    // The dialog comes up on this thread; a watcher presses its Cancel.
    const DWORD me = GetCurrentThreadId();
    HANDLE watcher = CreateThread(nullptr, 0, [](void* p) -> DWORD {
        const DWORD thread = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(p));
        for (int i = 0; i < 500; ++i) {
            HWND found = nullptr;
            EnumThreadWindows(thread, [](HWND w, LPARAM out) -> BOOL {
                wchar_t name[16] = L"";
                GetClassNameW(w, name, 16);
                if (wcscmp(name, L"#32770") || !IsWindowVisible(w)) return TRUE;
                *reinterpret_cast<HWND*>(out) = w;
                return FALSE;
            }, reinterpret_cast<LPARAM>(&found));
            if (found) {
                PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
                return 0;
            }
            Sleep(20);
        }
        return 1;
    }, reinterpret_cast<void*>(static_cast<ULONG_PTR>(me)), 0, nullptr);
    FORMATETC format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::FileContents), 0);
    STGMEDIUM medium = {};
    const DWORD start = GetTickCount();
    EXPECT_EQ(E_OPERATION_CANCELLED, object->GetData(&format, &medium));
    EXPECT_LT(GetTickCount() - start, 7000u);
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    module_.SetLinkSpeed(0);
}

TEST_F(DataObjectTest, HdropStagesTheFilesUntilTheObjectGoes) {
    ComPtr<IDataObject> object = Make(L"\\A:\\Data", {L"\\A:\\Data\\Archive", L"\\A:\\Data\\Photo.jpg"});
    std::vector<std::wstring> paths;
    ASSERT_EQ(S_OK, ReadDropFiles(object.Get(), &paths));
    ASSERT_EQ(2u, paths.size());
    const std::wstring staging = static_cast<ModuleDataObject*>(object.Get())->stagingPath();
    ASSERT_FALSE(staging.empty());
    EXPECT_EQ(staging + L"\\Archive", paths[0]);
    EXPECT_EQ(staging + L"\\Photo.jpg", paths[1]);
    EXPECT_EQ(ReadPcFile(module_.PcPath(L"\\A:\\Data\\Photo.jpg")), ReadPcFile(paths[1]));
    EXPECT_EQ(ReadPcFile(module_.PcPath(L"\\A:\\Data\\Archive\\Deep\\level3.bin")),
              ReadPcFile(paths[0] + L"\\Deep\\level3.bin"));
    // The same files as the shell's selection: the staging folder and its items.
    ShellIdListArray array;
    ASSERT_EQ(S_OK, ReadShellIdListArray(object.Get(), &array));
    ASSERT_EQ(2u, array.items.size());
    for (size_t i = 0; i < 2; ++i) {
        IdListHolder absolute(array.AbsoluteItem(i));
        wchar_t path[MAX_PATH] = L"";
        ASSERT_TRUE(SHGetPathFromIDListW(absolute.get(), path));
        EXPECT_EQ(0, lstrcmpiW(paths[i].c_str(), path)) << path;
    }
    // A second request hands out the same files without a second download.
    std::vector<std::wstring> again;
    ASSERT_EQ(S_OK, ReadDropFiles(object.Get(), &again));
    EXPECT_EQ(paths, again);
    object.Reset();
    EXPECT_FALSE(PcExists(staging));
}

TEST_F(DataObjectTest, HdropSettingTurnsStagingOff) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Velkor\\Brantlow", 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD off = 0;
    RegSetValueExW(key, kStageFilesValue, 0, REG_DWORD, reinterpret_cast<BYTE*>(&off), 4);
    ComPtr<IDataObject> object = Make(L"\\A:\\Data", {L"\\A:\\Data\\Photo.jpg"});
    FORMATETC format = HGlobalFormatEtc(CF_HDROP);
    EXPECT_EQ(DV_E_FORMATETC, object->QueryGetData(&format));
    format.cfFormat = Cf(ModuleClipboardFormat::ShellIdListArray);
    EXPECT_EQ(DV_E_FORMATETC, object->QueryGetData(&format));
    FormatInventory inventory;
    TakeFormatInventory(object.Get(), &inventory);
    EXPECT_FALSE(inventory.CanGet(FormatInventory::Hdrop));
    RegDeleteValueW(key, kStageFilesValue);
    RegCloseKey(key);
}

TEST_F(DataObjectTest, StaleStagingFoldersAreSwept) {
    const std::wstring root = StagingRoot();
    CreateDirectoryW(root.c_str(), nullptr);
    // A process id that is not running, and a folder of this process.
    const std::wstring stale = root + L"\\4000000-01D2C3B4A5968778-1";
    CreateDirectoryW(stale.c_str(), nullptr);
    CloseHandle(CreateFileW((stale + L"\\left.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr));
    std::unique_ptr<StagingFolder> mine;
    ASSERT_EQ(S_OK, StagingFolder::Create(&mine));
    SweepStaleStagingFolders();
    EXPECT_FALSE(PcExists(stale));
    EXPECT_TRUE(PcExists(mine->path()));
    const std::wstring path = mine->path();
    mine.reset();
    EXPECT_FALSE(PcExists(path));
}

TEST_F(DataObjectTest, CutThenPasteSucceededDeletesOnce) {
    {
        IdListHolder notes = Item(L"\\A:\\Data\\Notes.txt"), readme = Item(L"\\A:\\Data\\README");
        LPCITEMIDLIST items[] = {notes.get(), readme.get()};
        ComPtr<IDataObject> object;
        ASSERT_EQ(S_OK, MakeClipboardDataObject(L"\\A:\\Data", nullptr, items, 2, DROPEFFECT_MOVE,
                                                nullptr, &object));
        object.Reset();
        // What a paste does: the clipboard's object, told that the move is done.
        ComPtr<IDataObject> clip;
        ASSERT_EQ(S_OK, GetClipboardDataObject(&clip));
        EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_MOVE), ReadPreferredDropEffect(clip.Get()));
        ComPtr<IModuleChangeSink> own;
        EXPECT_EQ(S_OK, clip.As(&own)) << "the object itself, not the clipboard's copy";
        object = clip;
        const DWORD deletesBefore = module_.CallCount(L"DeleteFile");
        ASSERT_EQ(S_OK, WriteDwordFormat(object.Get(), Cf(ModuleClipboardFormat::PasteSucceeded),
                                         DROPEFFECT_MOVE));
        // Deleted silently (no prompt) by the object's own delete.
        EXPECT_TRUE(PumpUntil([&] { return module_.CallCount(L"DeleteFile") == deletesBefore + 2; }));
        EXPECT_FALSE(IsClipboardFormatAvailable(Cf(ModuleClipboardFormat::DirectoryData)));
        // A second notification starts nothing.
        ASSERT_EQ(S_OK, WriteDwordFormat(object.Get(), Cf(ModuleClipboardFormat::PasteSucceeded),
                                         DROPEFFECT_MOVE));
        PumpUntil([] { return false; }, 500);
        EXPECT_EQ(deletesBefore + 2, module_.CallCount(L"DeleteFile"));
    }
    // The last object gone, its thread ends and the server lets go of the files.
    EXPECT_TRUE(ClipboardThreadEnded());
    EXPECT_FALSE(PcExists(module_.PcPath(L"\\A:\\Data\\Notes.txt")));
    EXPECT_FALSE(PcExists(module_.PcPath(L"\\A:\\Data\\README")));
}

// Cut, then Paste from a menu, which hands the paste no data object: the
// paste takes the clipboard's, and the files leave their folder.
TEST_F(DataObjectTest, CutThenMenuPasteMovesTheFiles) {
    const std::string notes = ReadPcFile(module_.PcPath(L"\\A:\\Data\\Notes.txt"));
    {
        IdListHolder item = Item(L"\\A:\\Data\\Notes.txt");
        LPCITEMIDLIST items[] = {item.get()};
        ASSERT_EQ(S_OK, CutItemsToClipboard(L"\\A:\\Data", nullptr, items, 1, nullptr));
    }
    volatile LONG done = 9;
    ASSERT_EQ(S_OK, StartPasteOperation(L"\\A:\\Pictures", nullptr, nullptr, 0, true, &done));
    EXPECT_EQ(1, done);
    EXPECT_TRUE(PumpUntil([&] { return !PcExists(module_.PcPath(L"\\A:\\Data\\Notes.txt")); }));
    EXPECT_EQ(notes, ReadPcFile(module_.PcPath(L"\\A:\\Pictures\\Notes.txt")));
    // The move is through: the clipboard no longer offers the files.
    EXPECT_FALSE(IsClipboardFormatAvailable(Cf(ModuleClipboardFormat::DirectoryData)));
    EXPECT_TRUE(ClipboardThreadEnded());
}

TEST_F(DataObjectTest, CopyPutsTheFilesOnTheClipboardForAnotherThread) {
    {
        IdListHolder photo = Item(L"\\A:\\Data\\Photo.jpg");
        LPCITEMIDLIST items[] = {photo.get()};
        ASSERT_EQ(S_OK, CopyItemsToClipboard(L"\\A:\\Data", nullptr, items, 1, nullptr));
    }
    struct Reader {
        std::string bytes;
        std::wstring name;
        DWORD effect = 0;
    } reader;
    HANDLE thread = CreateThread(nullptr, 0, [](void* p) -> DWORD {
        Reader* r = static_cast<Reader*>(p);
        OleInitialize(nullptr);
        ComPtr<IDataObject> clip;
        if (SUCCEEDED(OleGetClipboard(&clip))) {
            r->effect = ReadPreferredDropEffect(clip.Get());
            Descriptor descriptor = ReadDescriptor(clip.Get());
            if (descriptor.records.size() == 1) r->name = descriptor.records[0].cFileName;
            FORMATETC format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::FileContents), 0);
            UniqueStgMedium medium;
            if (SUCCEEDED(clip->GetData(&format, medium.out()))) {
                GlobalLocked<char> bytes(medium.get()->hGlobal);
                r->bytes.assign(bytes.get(), bytes.size());
            }
        }
        clip.Reset();
        OleUninitialize();
        return 0;
    }, &reader, 0, nullptr);
    PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; });
    CloseHandle(thread);
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), reader.effect);
    EXPECT_EQ(L"Photo.jpg", reader.name);
    EXPECT_EQ(ReadPcFile(module_.PcPath(L"\\A:\\Data\\Photo.jpg")), reader.bytes);
    // The transfer put a fresh copy on the clipboard for the next paste.
    {
        ComPtr<IDataObject> again;
        ASSERT_EQ(S_OK, GetClipboardDataObject(&again));
        ComPtr<IModuleChangeSink> own;
        EXPECT_EQ(S_OK, again.As(&own));
        Descriptor descriptor = ReadDescriptor(again.Get());
        ASSERT_EQ(1u, descriptor.records.size());
        FORMATETC format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::FileContents), 0);
        UniqueStgMedium medium;
        EXPECT_EQ(S_OK, again->GetData(&format, medium.out()));
    }
    // Emptying the clipboard ends the clipboard thread.
    ASSERT_EQ(S_OK, OleSetClipboard(nullptr));
    EXPECT_TRUE(ClipboardThreadEnded());
}

TEST_F(DataObjectTest, CopyOfADriveOnlyBeeps) {
    IdListHolder drive(MakeDriveItem(L"\\A:", 4194304, 1000));
    LPCITEMIDLIST items[] = {drive.get()};
    EXPECT_EQ(S_OK, CopyItemsToClipboard(L"", nullptr, items, 1, nullptr));
    UniqueHandle none(TakeLastClipboardThread());
    EXPECT_FALSE(none.valid());
}

// A drag onto the Recycle Bin: the move is finished by a delete that asks
// first (the question is answered No here, so nothing goes).
TEST_F(DataObjectTest, MoveToTheRecycleBinAsksBeforeDeleting) {
    ComPtr<IDataObject> object = Make(L"\\A:\\Data", {L"\\A:\\Data\\Notes.txt"}, 0);
    STGMEDIUM medium = {TYMED_HGLOBAL};
    ASSERT_EQ(S_OK, MakeGlobalBlock(&CLSID_RecycleBin, sizeof(CLSID), &medium.hGlobal));
    FORMATETC format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::TargetClsid));
    ASSERT_EQ(S_OK, object->SetData(&format, &medium, TRUE));
    const DWORD deletesBefore = module_.CallCount(L"DeleteFile");
    ASSERT_EQ(S_OK, WriteDwordFormat(object.Get(), Cf(ModuleClipboardFormat::PerformedDropEffect),
                                     DROPEFFECT_MOVE));
    EXPECT_EQ(0u, prompts_.Count()) << "no move without the receiver's word";
    ASSERT_EQ(S_OK, WriteDwordFormat(object.Get(), Cf(ModuleClipboardFormat::PasteSucceeded),
                                     DROPEFFECT_MOVE));
    EXPECT_TRUE(PumpUntil([&] { return prompts_.Count() == 1; }));
    expectedPrompts_ = 1;
    EXPECT_EQ(PromptRequest::Kind::Dialog, prompts_.Last().kind);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(deletesBefore, module_.CallCount(L"DeleteFile"));
    EXPECT_TRUE(PcExists(module_.PcPath(L"\\A:\\Data\\Notes.txt")));
}

// A drive is no file: first in a Copy it only beeps (above); later in a
// selection it is an entry without contents.
TEST_F(DataObjectTest, DriveLaterInTheSelectionIsSkipped) {
    IdListHolder notes = Item(L"\\A:\\Data\\Notes.txt");
    IdListHolder drive(MakeDriveItem(L"\\B:", 1048576, 1000));
    LPCITEMIDLIST items[] = {notes.get(), drive.get()};
    ComPtr<IDataObject> object;
    ASSERT_EQ(S_OK, CreateModuleDataObject(L"\\A:\\Data", nullptr, items, 2, DROPEFFECT_COPY,
                                           nullptr, false, &object));
    Descriptor descriptor = ReadDescriptor(object.Get());
    ASSERT_EQ(2u, descriptor.records.size());
    EXPECT_STREQ(L"B:", descriptor.records[1].cFileName);
    EXPECT_EQ(0u, descriptor.records[1].nFileSizeLow);
    FORMATETC format = HGlobalFormatEtc(Cf(ModuleClipboardFormat::FileContents), 1);
    STGMEDIUM medium = {};
    EXPECT_EQ(E_INVALIDARG, object->GetData(&format, &medium));
}
