// The install-folder test as the folder box runs it, on any text: both marker paths are the text
// followed by a backslash and the marker's name, both are looked up, and the text is kept exactly
// when both are plain files; otherwise one critical box and the box is emptied.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "form/form.h"
#include "fuzz_check.h"
#include "ui/frm_main_def.h"

namespace {

struct Files : app::FileSystem {
    std::set<std::string> plain;
    std::vector<std::string> looked;
    bool isPlainFile(const std::string& path) override {
        looked.push_back(path);
        return plain.count(path) != 0;
    }
    bool exists(const std::string& path) override { return plain.count(path) != 0; }
    bool deleteFile(const std::string&) override { return false; }
    bool canReplace(const std::string&) override { return false; }
    bool createFolder(const std::string&) override { return false; }
    bool removeFolder(const std::string&) override { return false; }
};

struct Runtime : form::Runtime {
    std::vector<form::MsgIcon> boxes;
    void doEvents() override {}
    void msgBox(const std::string&, const std::string&, form::MsgIcon icon) override {
        boxes.push_back(icon);
    }
    void endProgram(int) override { FUZZ_CHECK(false); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static form::Form frm(ui::frmMainDefinition(), 15, 15);
    Files files;
    Runtime runtime;
    app::Services services;
    services.files = &files;
    services.runtime = &runtime;
    app::FrmMain main(frm, services);

    const std::string folder = in.ConsumeRandomLengthString(300);
    const std::string info = folder + "\\Report\\Info.xml";
    const std::string dll = folder + "\\Norvik.dll";
    const bool hasInfo = in.ConsumeBool(), hasDll = in.ConsumeBool();
    if (hasInfo)
        files.plain.insert(info);
    if (hasDll)
        files.plain.insert(dll);
    files.plain.insert(in.ConsumeRemainingBytesAsString());  // some other file

    form::Control& box = frm.control("txtFolder");
    box.setText("");
    files.looked.clear();
    box.setText(folder);
    if (folder.empty()) {
        FUZZ_CHECK(files.looked.empty() && runtime.boxes.empty());
        return 0;
    }
    FUZZ_CHECK(files.looked == (std::vector<std::string>{info, dll}));
    const bool accepted = files.plain.count(info) && files.plain.count(dll);
    FUZZ_CHECK(box.text() == (accepted ? folder : ""));
    FUZZ_CHECK(runtime.boxes.size() == (accepted ? 0u : 1u));
    if (!accepted)
        FUZZ_CHECK(runtime.boxes[0] == form::MsgIcon::Critical);
    return 0;
}
