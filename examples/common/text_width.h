// File names and titles in both widths of the host's interface. A plugin
// built 8-bit gets names in the ANSI code page (on Windows; elsewhere the
// file system's bytes) and writes titles in it; a Unicode build gets and
// writes wchar_t text. Decoders work with paths and UTF-8 titles alone.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

namespace voskel::examples {

using SongPath = std::filesystem::path;

SongPath path_from_narrow(const char* file);
SongPath path_from_wide(const wchar_t* file);

// The file opened for reading in binary, or null.
std::FILE* open_song_file(const SongPath& path);

// The file's name without folder and extension, as UTF-8.
std::string stem_of(const SongPath& path);

// A UTF-8 title into a buffer of size characters of the width, cut between
// characters so that it ends in a NUL within them; characters the code page
// lacks become '?'.
void write_narrow_title(const std::string& utf8, char* title, std::size_t size);
void write_wide_title(const std::string& utf8, wchar_t* title, std::size_t size);

std::wstring wide_from_utf8(const std::string& utf8);

}  // namespace voskel::examples
