// How path text is read, in one place: character by character in the code
// page of the file calls (the ANSI code page on Windows), never byte by
// byte, and which characters part it.
//
// In a double-byte ANSI code page (932, 936, 949, 950) the second byte of a
// character may be the byte of '\\', '|' or a letter and is none of them:
// "ソ" is 0x83 0x5C in code page 932. Whatever looks at the characters of a
// path or a name steps by character_length. Where the code page has one byte
// a character, stepping is byte by byte.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace voskel {

// The length in bytes (1 or 2) of the character text begins with.
inline uint32_t character_length(const char* text) { return system_calls().character_length(text); }

// Where the text operations (directory_part, extension) split a path.
// Windows: ':' and '\\'; '/' is an ordinary character there. POSIX: '/'.
bool is_path_separator(char c, PathStyle style);

// What join_path puts between a folder and a name: '\\' or '/'.
char joining_separator(PathStyle style);

// Where the file system parts a path into folders, as its calls read it:
// '\\' and '/' on Windows, '/' on POSIX.
bool is_folder_separator(char c, PathStyle style);

// Where an archive member's stored name parts folders on every build: '/'
// and '\\', as archives are made on either kind of system.
bool is_member_name_separator(char c);

// The position of the last character of the first length bytes of text,
// read by characters; -1 for no text.
int32_t last_character_start(const char* text, int32_t length);

// The position of the last character of the first length bytes of text
// that is_path_separator takes for one; -1 when there is none.
int32_t last_path_separator(const char* text, int32_t length, PathStyle style);

}  // namespace voskel
