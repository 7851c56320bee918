#pragma once
// Replacing a file as a whole. The new contents go to a temporary file beside
// the target (same folder, so the rename stays on one file system), which is
// flushed, synced and checked, then renamed over the target. A write that fails
// or is stopped half-way leaves the old file as it was and no partial file under
// the target's name; the temporary file is removed on every failure path.
//
// - A target that is a symbolic link is written through: the file the link
//   names (following a chain of links) is the one replaced, and the link stays.
// - A new file gets the mode the process's umask gives; a replaced file keeps
//   its mode (and its group where the owner may keep it).
// - The temporary file is "<file>.tmp-<pid>-<six letters or digits>", the
//   last two drawn from the pid and the four before: a writer that was killed
//   leaves it behind, and the next writer of the same file removes it once no
//   process of that pid is alive. Any other file, even one named much the
//   same ("<file>.tmp-2024-backup"), is the user's and stays.
// - A file whose folder does not allow new files cannot be replaced this way,
//   even when the file itself is writable: the save is refused and Error()
//   says so. Writing such a file in place would put it at risk of a half
//   write; keeping the old file whole is worth more.
// - A file that a command picks itself in a project (its documents, results,
//   state and settings) is given with the project's folder: a symbolic link
//   (of the file or of a folder on its way) that leads outside the project
//   is not written through, and the save is refused naming the link and its
//   target (LinkLeavingProject). A path the user named is given without one.
//   The target's folder is opened beneath the project (RegularFile::Folder),
//   its links followed only while they stay in it, and the temporary file is
//   made, synced and renamed through that folder's descriptor: a link
//   swapped in meanwhile cannot turn the save outside, and a file of several
//   hard links is replaced, never written through.

#include <sys/stat.h>

#include <fstream>
#include <string>

class CReplaceFile {
public:
    // Opens the temporary file beside the target (or beside the file a link
    // target names). IsOpen() says whether that worked, Error() why not;
    // nothing is changed yet. Opened, it leaves errno 0, so that the reason
    // Commit gives for a failed write is that write's own.
    // With a `project` folder, a target named inside it whose links lead
    // outside it is refused (LinkLeavingProject).
    explicit CReplaceFile(const std::string& target, const std::string& project = std::string());
    ~CReplaceFile();
    CReplaceFile(const CReplaceFile&) = delete;
    CReplaceFile& operator=(const CReplaceFile&) = delete;

    bool IsOpen() const { return !m_temporary.empty() && m_stream.is_open(); }
    std::ofstream& Stream() { return m_stream; }
    const std::string& Target() const { return m_target; }
    // Why opening or committing failed, in words fit to follow "cannot be
    // written: "; empty while nothing failed.
    const std::string& Error() const { return m_error; }

    // Flushes, syncs and closes the temporary file, then renames it over the
    // target. False, with the temporary file removed and the target untouched,
    // when any step fails or the stream had failed before; errno then holds
    // the system's reason where there is one.
    bool Commit();
    // Drops the temporary file; the target stays as it was.
    void Discard();

    // The save of `target` asked without making anything: "" when its place
    // takes it (nothing there or a regular file, by a way that stays in
    // `project`, in a folder that allows new files), else the words Error()
    // would give once opened, errno the system's reason. A command that
    // checks before it writes asks this, so that it refuses as the save would.
    static std::string WhyRefused(const std::string& target, const std::string& project = std::string());

private:
    CReplaceFile() = default;
    // Finds the folder (m_folder) and name the save goes to, and what stands
    // there; false, with the reason (Failed), when the place takes no file.
    bool Place(const std::string& project, std::string& folderPath, bool& exists, struct stat& existing);
    // No new file can be made in the folder, for `error`.
    void NoNewFile(int error, bool exists, const std::string& folderPath);
    void Failed(const std::string& why, int error);

    std::string m_target;
    std::string m_file;
    std::string m_temporary;
    std::string m_temporaryName;
    std::string m_name;
    int m_folder = -1;
    int m_sync = -1;
    std::string m_error;
    std::ofstream m_stream;
};

// Replaces path's contents with bytes as above; false when that failed, with
// the reason in *error when error is given.
bool ReplaceFileContents(const std::string& path, const std::string& bytes, std::string* error = nullptr,
                         const std::string& project = std::string());

// Copies the regular file source over target as ReplaceFileContents saves
// (the target replaced whole, or left as it was), streaming its bytes. With a
// `project` folder both stay in it: a source of the project that a link
// leads outside it is not read, and a target is not written through such a
// link (LinkLeavingProject). The source is read through the one opener of
// files (RegularFile: a FIFO, a device or a folder is refused, nothing
// waits). False when that failed, with the reason in *error (a sentence
// naming the file), errno the system's reason where there is one.
// With CopyRule::SingleLink (an upload: what is handed on must be the
// project's alone) a source of more than one hard link is refused by name.
// A `sourceFolder` holds the source beneath it instead of the project (a
// run's file brought into the project from the run's own folder).
enum class CopyRule { Any, SingleLink };
bool CopyFileContents(const std::string& source, const std::string& target, std::string* error = nullptr,
                      const std::string& project = std::string(), CopyRule rule = CopyRule::Any,
                      const std::string& sourceFolder = std::string());

// The rule for files a command picks itself in a project (decided on
// descriptors: RegularFile::Folder, OpenBeneath): such a file named
// inside `project`, or whose folder lies in it once links are followed (a
// second link to the project names the same place), must, with every
// symbolic link on its way followed, still lie inside it. Empty when `path` may be written (no project given, a path
// not named inside the project, or one that stays in it); else why not, in
// words fit to follow "cannot be written: ", naming the link and its target.
std::string LinkLeavingProject(const std::string& path, const std::string& project);

// The file a save of path replaces: path itself, or the file its chain of
// symbolic links ends at (which need not exist yet). Empty, with errno set,
// when the chain loops or cannot be read.
std::string ReplacedFileOf(const std::string& path);

// Whether a writer makes the temporary file "<file><mark><pid>-<suffix>":
// true for exactly the suffixes it puts after that pid.
using TemporarySuffixTest = bool (*)(const std::string& pid, const std::string& suffix);

// Removes the temporary files that earlier writers of file left behind and
// whose process is gone: "<file><mark><pid>-<suffix>", plain files, the pid
// written as a writer writes it and the suffix one ownSuffix accepts. The
// number removed. Without a mark, the temporary files of CReplaceFile.
// Without a mark, every temporary file of CReplaceFile in file's folder
// whose writer is gone, whichever file it was for: a killed writer of a
// name that is never saved again (a claimed new name) leaves nothing behind
// once anything is written in that folder. A process sweeps each folder
// once this way (the first time it writes there).
int RemoveStaleTemporaries(const std::string& file);
int RemoveStaleTemporaries(const std::string& file, const std::string& mark, TemporarySuffixTest ownSuffix);

// The same in folder itself: the temporary files CReplaceFile's writers
// left there ("<name>.tmp-<pid>-<six letters>" of any name) whose process is
// gone, and the folders built under such a name (a folder is made whole
// under a temporary name before it takes its own) with all in them; the
// number removed.
int RemoveStaleTemporariesIn(const std::string& folder);

// Removes entry of folder when it is a stale temporary file or folder as
// above (a link or anything else of that name stays); whether it did.
bool RemoveStaleTemporary(const std::string& folder, const std::string& entry);

// Whether entry, a name in a folder, is the temporary file of a writer
// whose process is gone, named as CReplaceFile names its own.
bool IsStaleTemporaryName(const std::string& entry);

// A fresh name for a temporary file of file, as CReplaceFile names its own
// ("<file>.tmp-<pid>-<six letters>"): the sweeps above remove it once this
// process is gone. Nothing is made.
std::string TemporaryNameOf(const std::string& file);
