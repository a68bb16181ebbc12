#pragma once
// Saving a file so that a failed save never costs the file that was there.
#include <functional>
#include <string>

namespace vx {

class TFileStream;

// Runs write on a temporary file beside fileName (same folder, the old file's
// permissions or the umask's) and renames it over fileName when write returns true;
// otherwise, or when write throws, the temporary file is removed and fileName is left as
// it was. Throws EFCreateError when the temporary file cannot be made or put in place.
void SaveFileAtomically(const std::string& fileName,
                        const std::function<bool(TFileStream& out)>& write);

}  // namespace vx
