#pragma once

namespace platform {

// The version every program prints for --version: "0.1.0", or "0.1.0 (git 0123abcd)" when it was
// built in a git checkout ("-dirty" follows the revision when files were changed).
const char* VersionText();

}  // namespace platform
