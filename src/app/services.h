#pragma once
// Everything the main window's logic calls outside itself. WinMain wires the real subsystems;
// unit tests wire fakes that record calls and script answers.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/package_trust.h"
#include "app/tool_trust.h"
#include "download/memory_download.h"
#include "download/thread_api.h"
#include "form/form.h"
#include "form/runtime.h"
#include "results/results.h"

namespace app {

// The file-system operations of the upgrade sequence and the folder test. Paths are UTF-8.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // True for an existing plain file (ordinary, read-only, archive); false for folders and for
    // hidden or system files.
    virtual bool isPlainFile(const std::string& path) = 0;
    // True when anything (file or folder, whatever its attributes) has this name.
    virtual bool exists(const std::string& path) = 0;
    // Deletes a file; false when it cannot be deleted.
    virtual bool deleteFile(const std::string& path) = 0;
    // True when the existing file could be replaced now: it is not read-only and no other
    // program holds it open.
    virtual bool canReplace(const std::string& path) = 0;
    // Creates one folder level; false when it cannot be created.
    virtual bool createFolder(const std::string& path) = 0;
    // Removes an empty folder; false when it cannot be removed (or is not empty).
    virtual bool removeFolder(const std::string& path) = 0;
};

// The Authenticode check of a file by its path. Safe to call from any thread. Without
// `retrievalAllowed` whatever the chain needs must already be on this computer; with it Windows
// may fetch what is missing (a root, an intermediate certificate) from the network.
class SignatureVerifier {
  public:
    virtual ~SignatureVerifier() = default;
    virtual SignatureCheck checkFile(const std::string& path, bool retrievalAllowed) = 0;
};

// A program file opened for its start: while the object lives, nobody can change, rename or
// delete the file.
class HeldProgram {
  public:
    virtual ~HeldProgram() = default;
    // The Authenticode check of exactly the held file (`retrievalAllowed` as for
    // SignatureVerifier).
    virtual SignatureCheck signature(bool retrievalAllowed) = 0;
};

// A program held for its start, or the Windows error code of opening it.
struct HoldResult {
    std::unique_ptr<HeldProgram> program;
    std::uint32_t error = 0;
};

// Starts a program in a normal, focused window without waiting for it.
class ProcessLauncher {
  public:
    virtual ~ProcessLauncher() = default;
    // Opens the program at `path` for its start; no program (and the error) when it cannot be
    // opened.
    virtual HoldResult hold(const std::string& path) = 0;
    // Starts exactly the program at `path` with no arguments, keeping the working folder;
    // 0, or the Windows error code of the failure.
    virtual std::uint32_t start(const std::string& path) = 0;
    // The same through the shell with the "runas" verb, which asks the user for elevation, in
    // `workingFolder` ("": the system's choice); 0, or the Windows error code (ERROR_CANCELLED
    // when the user declines).
    virtual std::uint32_t startElevated(const std::string& path,
                                        const std::string& workingFolder) = 0;
    // This process's working folder; "" when it cannot be read.
    virtual std::string workingFolder() = 0;
};

// What this process sees of drive letters and network connections, and whether it runs
// elevated: an elevated process does not see the drive letters mapped in the user's own,
// unelevated logon.
class DriveNames {
  public:
    enum class Kind { NoRootDir, Remote, Other };
    virtual ~DriveNames() = default;
    // GetDriveTypeW of a root "X:\".
    virtual Kind kindOf(const std::string& root) = 0;
    // The UNC form of a path on a network drive (WNetGetUniversalNameW); "" when there is none.
    virtual std::string universalName(const std::string& path) = 0;
    // The network resource a drive "X:" is connected to (WNetGetConnectionW); "" when none.
    virtual std::string connectionOf(const std::string& drive) = 0;
    // True when the process's token is elevated (Windows Vista and later); false elsewhere.
    virtual bool runsElevated() = 0;
};

// The download engine's check of a complete file. Runs on the transfer thread, so it must not
// touch the window.
using results::AcceptFile;

struct Services {
    // Host (and optional :port) of the download server, fixed when the program was built.
    std::string downloadHost;
    form::Runtime* runtime = nullptr;
    FileSystem* files = nullptr;
    ProcessLauncher* launcher = nullptr;
    SignatureVerifier* signatures = nullptr;
    // Null: every path is taken as it stands.
    DriveNames* drives = nullptr;
    // The clock that bounds the window thread's waits outside a download.
    download::Clock* clock = nullptr;
    // The thread that checks the held update tool, and the window thread's wait for it.
    download::Threads* threads = nullptr;
    // How long each check of the update tool's signature may take, fixed when the program was
    // built (the download's check is bounded by the download engine with the same value).
    std::uint32_t signCheckMs = 60000;
    // The subject common name the update tool's signer must have, fixed when the program was
    // built; "" turns the check off.
    std::string toolPublisher;
    // The build's NORVIK_PACKAGE_SIGNATURES: when true ("required"), each package's detached
    // signature is downloaded first and the package is accepted only when it is signed by
    // `toolPublisher`.
    bool packageSignatures = false;
    PackageVerifier* packageVerifier = nullptr;

    // The download engine: remote path, local path, progress caption and bar, proxy text, and
    // the check of the complete file (empty: every complete file is accepted).
    std::function<std::string(const std::string&, const std::string&, form::Control*,
                              form::Control*, const std::string&, const AcceptFile&)>
        downloadFile;
    // The download engine into memory: remote path, the most it may hold, proxy text.
    std::function<download::MemoryDownload(const std::string&, std::size_t, const std::string&)>
        downloadToMemory;
    // Closes and removes the partial file of a download that is still running (before exit).
    std::function<void()> abandonDownloads;
    // The upgrade's downloads are over: what the user gave for the proxy's login is let go.
    std::function<void()> endUpgrade;
    // Sets the download engine's BaseUrl.
    std::function<void(const std::string&)> setBaseUrl;
    std::function<std::string()> windowsVersionName;
    std::function<void(form::Form&, bool)> setTopmost;
    // The chrome layout of the window (frame pictures, outline, grips when resizable).
    std::function<void(form::Form&, bool)> layoutSkin;
    // The folder picker: the chosen folder, or "" when cancelled or failed.
    std::function<std::string()> selectFolder;
};

}  // namespace app
