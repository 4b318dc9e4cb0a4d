// CStagedFolder: a new version of a whole folder, made beside it and swapped in only when
// complete, the folder form of CReplaceFile:
//   CStagedFolder staged(folder);
//   if (!staged.Begin(keep, error)) ...;  write into staged.Path() ...;
//   if (!staged.Commit(error)) ...
// The new version is built in "<parent>/.<name>.part-<pid>" on the same file system.
// Entries of the old folder that the caller keeps are hard-linked into it (copied where
// links are not possible); Commit then exchanges the two folders in one rename, so the
// folder's name always stands for a complete version, old or new. A version that is
// abandoned (destroyed without Commit, or a failed Commit) is removed and the old
// folder is left exactly as it was.
//
// The caller holds the folder's COutputLock: Begin removes the leftovers of earlier
// runs, which can only be stale while the lock is held.
#pragma once

#include <functional>
#include <string>

class CStagedFolder {
public:
    // What becomes of an entry of the old folder in the new version.
    enum class EKeep {
        Drop,  // not taken over (the new version replaces or removes it)
        Link,  // the same file, hard-linked (copied when the file system has no links)
        Copy,  // a copy of its own, for a file the new version rewrites in place
    };

    // `folder` is the folder replaced (with or without a final "/"); links to it are
    // resolved, so the new version is made beside the real folder.
    explicit CStagedFolder(const std::string& folder);
    ~CStagedFolder();
    CStagedFolder(const CStagedFolder&) = delete;
    CStagedFolder& operator=(const CStagedFolder&) = delete;

    // Puts back a folder that a run killed halfway through its swap had set aside, and
    // removes what earlier runs left ("<parent>/.<name>.part-*", ".old-*").
    void RemoveLeftovers();
    // Makes the new version and fills it with the old folder's entries as `keep` decides
    // by name (all dropped when `keep` is empty or the folder does not exist). False
    // with "<path>: <reason>" in `error` when the new version cannot be made; nothing
    // is then left of it.
    bool Begin(const std::function<EKeep(const std::string& name)>& keep, std::string& error);
    // The new version's folder, ending in "/"; empty before Begin.
    const std::string& Path() const { return path; }
    // The folder replaced, with links resolved, ending in "/".
    const std::string& Folder() const { return folder; }
    // Swaps the new version in and removes the old one. False with `error` when the
    // swap failed: the old folder is then unchanged and the new version removed.
    bool Commit(std::string& error);
    // Removes the new version; the old folder stays.
    void Abandon();

private:
    bool Fill(const std::function<EKeep(const std::string& name)>& keep, std::string& error);
    bool Swap(std::string& error);

    std::string folder;  // the folder replaced, with "/"
    std::string parent;  // the folder holding both versions, with "/"
    std::string name;  // the folder's own name
    std::string path;  // the new version, with "/"
};
