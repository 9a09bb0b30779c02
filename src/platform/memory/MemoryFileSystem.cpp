#include "platform/memory/MemoryFileSystem.h"

#include <algorithm>
#include <utility>

namespace qv {

struct MemoryFileSystem::Node {
  std::string name;
  bool folder = false;
  bool hidden = false;
  int64_t modified = 0;
  std::string data;
  Node* parent = nullptr;
  std::vector<std::unique_ptr<Node>> children;
};

namespace {
MemoryFileSystem::Node Folder() {
  MemoryFileSystem::Node n;
  n.folder = true;
  return n;
}
}  // namespace

struct MemoryFileSystem::Drive {
  Node root = Folder();
  uint64_t capacity = 0;
  uint32_t serial = 0;
  std::vector<std::pair<std::string, std::unique_ptr<Node>>> trash;
};

// Where a path leads: `node` is null where the last component is missing; `parent` is null
// where the folder that would hold it is missing (or for a drive root).
struct MemoryFileSystem::Found {
  Drive* drive = nullptr;
  Node* parent = nullptr;
  Node* node = nullptr;
  std::string name;  // the last component as written
};

namespace {

using Node = MemoryFileSystem::Node;

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Upper(x) == Upper(y); });
}

// "C:\a\b\" as its letter and components; false for anything that is no DOS path.
bool Split(const std::string& path, char* letter, std::vector<std::string>* parts) {
  if (path.size() < 2 || path[1] != ':' || (path.size() > 2 && path[2] != '\\')) return false;
  *letter = Upper(path[0]);
  parts->clear();
  size_t at = 3;
  while (at < path.size()) {
    size_t end = path.find('\\', at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    if (part == "." || part == "..") return false;
    if (!part.empty()) parts->push_back(part);
    at = end + 1;
  }
  return true;
}

// An exact match first, so that names differing in case only stay apart.
Node* Child(Node* folder, const std::string& name, bool exactCase) {
  for (auto& c : folder->children)
    if (c->name == name) return c.get();
  if (!exactCase)
    for (auto& c : folder->children)
      if (SameName(c->name, name)) return c.get();
  return nullptr;
}

std::unique_ptr<Node> Detach(Node* node) {
  auto& siblings = node->parent->children;
  auto it = std::find_if(siblings.begin(), siblings.end(),
                         [&](const std::unique_ptr<Node>& c) { return c.get() == node; });
  std::unique_ptr<Node> owned = std::move(*it);
  siblings.erase(it);
  owned->parent = nullptr;
  return owned;
}

Node* Attach(Node* folder, std::unique_ptr<Node> node) {
  node->parent = folder;
  folder->children.push_back(std::move(node));
  return folder->children.back().get();
}

std::unique_ptr<Node> NewNode(const std::string& name, bool folder, int64_t modified = 0,
                              const std::string& data = "") {
  auto n = std::make_unique<Node>();
  n->name = name;
  n->folder = folder;
  n->modified = modified;
  n->data = data;
  return n;
}

uint64_t SizeOf(const Node& n) {
  uint64_t size = n.data.size();
  for (const auto& c : n.children) size += SizeOf(*c);
  return size;
}

}  // namespace

MemoryFileSystem::MemoryFileSystem(std::string executableFolder)
    : executableFolder_(std::move(executableFolder)) {
  if (!executableFolder_.empty()) {
    AddDrive(executableFolder_[0]);
    CreatePath(executableFolder_ + "\\");
  }
}

MemoryFileSystem::~MemoryFileSystem() = default;

void MemoryFileSystem::AddDrive(char letter, uint64_t capacity) {
  auto d = std::make_unique<Drive>();
  d->capacity = capacity;
  d->serial = 0x51560000u + static_cast<uint32_t>(Upper(letter));
  drives_[Upper(letter)] = std::move(d);
}

void MemoryFileSystem::RemoveDrive(char letter) {
  drives_.erase(Upper(letter));
}

MemoryFileSystem::Found MemoryFileSystem::Find(const std::string& path, NameCase nameCase) {
  Found f;
  char letter = 0;
  std::vector<std::string> parts;
  if (!Split(path, &letter, &parts)) return f;
  auto d = drives_.find(letter);
  if (d == drives_.end()) return f;
  f.drive = d->second.get();
  Node* at = &f.drive->root;
  if (parts.empty()) {
    f.node = at;
    return f;
  }
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    at = Child(at, parts[i], false);
    if (!at || !at->folder) return f;
  }
  f.parent = at;
  f.name = parts.back();
  f.node = Child(at, f.name, nameCase == NameCase::Exact);
  return f;
}

uint64_t MemoryFileSystem::Used(const Drive& d) const {
  uint64_t used = SizeOf(d.root);
  for (const auto& [path, node] : d.trash) used += SizeOf(*node);
  return used;
}

std::vector<std::string> MemoryFileSystem::LogicalDrives() const {
  std::vector<std::string> roots;
  for (const auto& [letter, drive] : drives_) roots.push_back(std::string(1, letter) + ":\\");
  return roots;
}

int MemoryFileSystem::GetDriveType(const std::string& root) const {
  return !root.empty() && drives_.count(Upper(root[0])) ? kDriveFixed : kDriveNoRoot;
}

Result<VolumeInfo> MemoryFileSystem::GetVolumeInfo(const std::string& root) const {
  auto d = root.empty() ? drives_.end() : drives_.find(Upper(root[0]));
  if (d == drives_.end()) return Status::Error("no such drive");
  return VolumeInfo{"", d->second->serial, "memory"};
}

Result<FreeSpace> MemoryFileSystem::GetFreeSpace(const std::string& path) {
  const Found f = Find(path.substr(0, 3));
  if (!f.drive) return Status::Error("no such drive");
  const uint64_t capacity = f.drive->capacity;
  return FreeSpace{capacity - std::min(capacity, Used(*f.drive)), capacity};
}

Result<std::vector<DirEntry>> MemoryFileSystem::ListFolder(const std::string& folder, ListDetail) {
  const Found f = Find(folder);
  if (!f.node || !f.node->folder) return Status::Error("no such folder");
  std::vector<DirEntry> entries;
  for (const auto& c : f.node->children)
    entries.push_back(DirEntry{c->name, c->folder, c->hidden, c->data.size(), c->modified,
                               c->folder ? EntryKind::Folder : EntryKind::File});
  return entries;
}

bool MemoryFileSystem::IsFolder(const std::string& path, FollowLinks) {
  const Found f = Find(path);
  return f.node && f.node->folder;
}

PathState MemoryFileSystem::Probe(const std::string& path, NameCase nameCase) {
  const Found f = Find(path, nameCase);
  return !f.node && f.parent ? PathState::Absent : PathState::Present;
}

Result<std::vector<uint8_t>> MemoryFileSystem::ReadWholeFile(const std::string& path) {
  const Found f = Find(path);
  if (!f.node || f.node->folder) return Status::Error("no such file");
  return std::vector<uint8_t>(f.node->data.begin(), f.node->data.end());
}

Status MemoryFileSystem::CreateFolder(const std::string& path) {
  const Found f = Find(path);
  if (f.node) return Status::Error("it exists already");
  if (!f.parent) return Status::Error("no such folder");
  Attach(f.parent, NewNode(f.name, true));
  return Status::Ok();
}

Status MemoryFileSystem::CreatePath(const std::string& folderPath) {
  const size_t last = folderPath.rfind('\\');
  char letter = 0;
  std::vector<std::string> parts;
  if (last == std::string::npos || !Split(folderPath.substr(0, last + 1), &letter, &parts) ||
      !drives_.count(letter))
    return Status::Error("no such drive");
  Node* at = &drives_[letter]->root;
  for (const std::string& part : parts) {
    Node* next = Child(at, part, false);
    if (next && !next->folder) return Status::Error("a file is in the way");
    at = next ? next : Attach(at, NewNode(part, true));
  }
  return Status::Ok();
}

Status MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  const Found a = Find(from);
  const Found b = Find(to);
  if (!a.node || !a.parent) return Status::Error("no such file or folder");
  if (!b.parent || a.drive != b.drive) return Status::Error("no such folder on the drive");
  if (b.node && b.node != a.node) return Status::Error("the name is taken");
  for (Node* up = b.parent; up; up = up->parent)
    if (up == a.node) return Status::Error("a folder cannot go into itself");
  std::unique_ptr<Node> moved = Detach(a.node);
  moved->name = b.name;
  Attach(b.parent, std::move(moved));
  return Status::Ok();
}

Result<uint64_t> MemoryFileSystem::FileLength(const std::string& path) {
  const Found f = Find(path);
  if (!f.node || f.node->folder) return Status::Error("no such file");
  return uint64_t{f.node->data.size()};
}

CopyOutcome MemoryFileSystem::CopyFile(const std::string& from, const std::string& to,
                                       const CopyProgressFn& progress, NameCase nameCase) {
  const Found a = Find(from);
  if (!a.node) return Status::Error("no such file");
  if (a.node->folder) return CopyResult::NotAFile;
  const Found b = Find(to, nameCase);
  if (!b.parent) return Status::Error("no such folder");
  if (b.node) return CopyResult::Exists;
  const uint64_t total = a.node->data.size();
  const Result<FreeSpace> space = GetFreeSpace(to);
  if (!space.ok() || total > space->freeToCaller)
    return Status::Error("no space left on the drive");
  if (progress && !progress(total, 0)) return CopyResult::Cancelled;
  for (uint64_t done = 0; done < total;) {
    done = std::min(total, done + std::max<uint64_t>(copyChunk_, 1));
    if (progress && !progress(total, done)) return CopyResult::Cancelled;
  }
  Attach(b.parent, NewNode(b.name, false, a.node->modified, a.node->data));
  return CopyResult::Copied;
}

Status MemoryFileSystem::DeleteToTrash(const std::string& path) {
  const Found f = Find(path);
  if (!f.node || !f.parent) return Status::Error("no such file or folder");
  f.drive->trash.emplace_back(path, Detach(f.node));
  return Status::Ok();
}

Status MemoryFileSystem::EmptyTrash() {
  for (auto& [letter, drive] : drives_) drive->trash.clear();
  return Status::Ok();
}

bool MemoryFileSystem::WriteFile(const std::string& path, const std::string& content,
                                 int64_t modified) {
  if (!CreatePath(path).ok()) return false;
  const Found f = Find(path);
  if (!f.parent || (f.node && f.node->folder)) return false;
  Node* n = f.node ? f.node : Attach(f.parent, NewNode(f.name, false));
  n->data = content;
  n->modified = modified;
  return true;
}

std::string MemoryFileSystem::Read(const std::string& path) {
  const Found f = Find(path);
  return f.node && !f.node->folder ? f.node->data : std::string();
}

bool MemoryFileSystem::SetHidden(const std::string& path, bool hidden) {
  const Found f = Find(path);
  if (!f.node) return false;
  f.node->hidden = hidden;
  return true;
}

bool MemoryFileSystem::Exists(const std::string& path) {
  return Find(path).node != nullptr;
}

bool MemoryFileSystem::Remove(const std::string& path) {
  const Found f = Find(path);
  if (!f.node || !f.parent) return false;
  Detach(f.node);
  return true;
}

std::vector<std::string> MemoryFileSystem::Trashed() const {
  std::vector<std::string> paths;
  for (const auto& [letter, drive] : drives_)
    for (const auto& [path, node] : drive->trash) paths.push_back(path);
  return paths;
}

}  // namespace qv
