// Placeholder until the archive extractors land: nothing is extracted.
#include "extract/rar_member.h"
#include "extract/zip_member.h"

namespace voskel {

TextString extract_zip_member(const TextString&, const TextString&) { return TextString(); }
TextString extract_rar_member(const TextString&, const TextString&) { return TextString(); }

}  // namespace voskel
