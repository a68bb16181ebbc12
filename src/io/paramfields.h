#pragma once
// Access to the fields of a parameter set by name, for tools and scripting:
// "JPEG_Quality" = "90", "TIFF_Compression" = "ioTIFF_G4FAX", "GIF_TranspColor" = "#ff0000".
#include <string>
#include <vector>

#include "io/ioparams.h"

namespace vx {

struct TParamFieldValue {
  std::string name;
  std::string value;
};

// Sets one field; returns false (with a reason in error) for an unknown name or a value
// that does not fit the field. Names are matched case-insensitively.
bool SetParamByName(TIOParamsVals& params, const std::string& name, const std::string& value,
                    std::string& error);

// Every named field with its current value, in declaration order. With prefix given
// (for example "GIF_"), only the fields whose names start with it.
std::vector<TParamFieldValue> DescribeParams(const TIOParamsVals& params,
                                             const std::string& prefix = {});

}  // namespace vx
