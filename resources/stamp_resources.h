// Where a stamped product keeps its identity: resources of their own type, one per string,
// holding the raw Shift-JIS bytes without a NUL. Not a string table, which Windows keeps in
// UTF-16 and would convert through the user's code page. The generic program carries a marker
// of the same type, by which the stamping tool knows it.
#pragma once

inline constexpr char kIdentityResourceType[] = "FILESPACK_IDENTITY";
inline constexpr char kIdentityName[] = "NAME";
inline constexpr char kIdentityDescription[] = "DESCRIPTION";
inline constexpr char kIdentityVersion[] = "VERSION";
inline constexpr char kIdentityCaption[] = "CAPTION";
inline constexpr char kIdentityResourceName[] = "RESOURCE_NAME";
inline constexpr char kProgramMarkerName[] = "PROGRAM";
// The marker's bytes begin with this; what follows is free text.
inline constexpr char kProgramMarkerText[] = "filespack program 1";
// A line of the marker's free text by which a program declares that it reads zstd chunks (the
// run-length stage's frame mode); `exe` gives such chunks to no program without it.
inline constexpr char kProgramReadsZstd[] = "reads: zstd";
// The same for stream chunks (the run-length stage's stream mode).
inline constexpr char kProgramReadsStream[] = "reads: stream";
