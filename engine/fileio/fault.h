#pragma once
// A seam for tests: makes the n-th file operation of the chosen kinds fail as
// a full disk, an I/O error or a read-only medium would. Every write, sync,
// rename, create, open, lock and removal of the engine's table files passes
// through FaultCheck(); while nothing is armed it costs one relaxed load.
//
//   fileio::ArmFault(fileio::kAllFileOps, 3, fileio::FaultKind::DiskFull);
//   ... the third operation throws (its message names the file) ...
//   fileio::DisarmFault();
//
// Counting without failing (n = 0) tells a test how many operations a piece
// of work takes, so that it can walk n over all of them.
#include <cstdint>

namespace tarnel::fileio {

enum class FileOp : unsigned { Write = 1, Sync = 2, Rename = 4, Create = 8, Open = 16, Lock = 32, Remove = 64 };
inline constexpr unsigned kAllFileOps = 127;

enum class FaultKind { DiskFull, IoError, ReadOnly };   // ENOSPC, EIO, EROFS

// Arms the seam: the n-th operation (1-based) whose kind is in `ops` fails,
// and so does every one after it until disarmed when `sticky` (a medium that
// stays full). n = 0 only counts.
void ArmFault(unsigned ops, std::int64_t n, FaultKind kind = FaultKind::IoError, bool sticky = false);
void DisarmFault();
// Operations of the armed kinds seen since ArmFault.
std::int64_t FaultOpsSeen();
// Whether an armed fault has fired since ArmFault.
bool FaultFired();

// Called by the file layer before an operation: 0 to go ahead, else the
// errno value to fail with.
int FaultCheck(FileOp op);

} // namespace tarnel::fileio
