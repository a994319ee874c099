// The INI class through its profile seam, driven by any sequence of property changes, writes and
// reads against a profile store that may refuse: every read and write addresses INIPath + "\" +
// FileName; a read returns the stored value or fails with 10000 when there is none; a refused
// write fails with 10002 naming the file; an unreadable Windows directory fails with 10001.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fake_profile.h"
#include "fuzz_check.h"
#include "settings/cls_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    testsupport::FakeProfile profile;
    profile.windows = in.ConsumeRandomLengthString(40);
    profile.throwOnWindows = in.ConsumeIntegralInRange(0, 15) == 0;
    try {
        settings::ClsSkin ini(profile);
        FUZZ_CHECK(!profile.throwOnWindows);
        FUZZ_CHECK(ini.WindowsPath() == profile.windows && ini.INIPath() == profile.windows);
        FUZZ_CHECK(ini.FileName().empty());
        while (in.remaining_bytes() > 0) {
            const int op = in.ConsumeIntegralInRange(0, 3);
            const std::string a = in.ConsumeRandomLengthString(20);
            if (op == 0) {
                ini.FileName(a);
                FUZZ_CHECK(ini.FileName() == a);
                continue;
            }
            if (op == 1) {
                ini.INIPath(a);
                FUZZ_CHECK(ini.INIPath() == a);
                continue;
            }
            const std::string key = in.ConsumeRandomLengthString(20);
            const std::string file = ini.INIPath() + "\\" + ini.FileName();
            if (op == 2) {
                const std::string value = in.ConsumeRandomLengthString(300);
                profile.refuseWrites = in.ConsumeIntegralInRange(0, 7) == 0;
                try {
                    ini.WriteINI(a, key, value);
                    FUZZ_CHECK(!profile.refuseWrites);
                } catch (const settings::IniError& e) {
                    FUZZ_CHECK(profile.refuseWrites && e.number() == settings::kErrWriteEntry);
                    FUZZ_CHECK(e.source() == "WriteTo()");
                    FUZZ_CHECK(e.description() == "There was a critical Error writing to the " +
                                                      ini.FileName() + " file.");
                }
            } else {
                const auto it = profile.entries.find({a, key, file});
                const std::string stored = it == profile.entries.end() ? "" : it->second;
                try {
                    FUZZ_CHECK(ini.ReadINI(a, key) == stored && !stored.empty());
                } catch (const settings::IniError& e) {
                    FUZZ_CHECK(stored.empty() && e.number() == settings::kErrReadEntry);
                    FUZZ_CHECK(e.source() == "ReadFrom()");
                }
            }
            FUZZ_CHECK(profile.lastFile == file);
        }
    } catch (const settings::IniError& e) {
        FUZZ_CHECK(profile.throwOnWindows && e.number() == settings::kErrWindowsPath);
        FUZZ_CHECK(e.source() == "clsINI.cls");
    }
    return 0;
}
