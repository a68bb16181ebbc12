#pragma once
// Exception classes of the platform layer. Codecs never throw for bad data (they report
// through the abort flag); these are for opening files, misuse and stream exhaustion.
#include <stdexcept>
#include <string>

namespace vx {

class EVXError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file could not be opened for reading.
class EFOpenError : public EVXError {
 public:
  using EVXError::EVXError;
};

// A file could not be created or opened for writing.
class EFCreateError : public EVXError {
 public:
  using EVXError::EVXError;
};

// ReadBuffer could not read the whole count.
class EReadError : public EVXError {
 public:
  using EVXError::EVXError;
};

// WriteBuffer could not write the whole count.
class EWriteError : public EVXError {
 public:
  using EVXError::EVXError;
};

class EInvalidOperation : public EVXError {
 public:
  using EVXError::EVXError;
};

class EOutOfResources : public EVXError {
 public:
  using EVXError::EVXError;
};

}  // namespace vx
