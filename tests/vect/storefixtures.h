#pragma once
// Store helpers the vector tests share.
#include "vect/vxvstore.h"

namespace vxvtest {

// Adds an object of the template's settings with the given kind and corners.
inline int32_t AddKind(vx::TVXVObjectStore& st, vx::TVXVObjectKind kind, int l, int t, int r, int b,
                       int32_t parent = vx::kVXVRoot) {
  vx::TVXVObject o = st.Template();
  o.Kind = kind;
  o.Left = l;
  o.Top = t;
  o.Right = r;
  o.Bottom = b;
  return st.AddVObject(parent, o);
}

}  // namespace vxvtest
