#ifndef LINFOLD_FIELDSETTING_H
#define LINFOLD_FIELDSETTING_H

#include <string>

class SoNode;

namespace render {

// One --set TYPE.FIELD=VALUE or TYPE[N].FIELD=VALUE of linfold-render.
struct FieldSetting {
  std::string text;  // as given, for messages
  std::string type;
  int index = 0;
  std::string field;
  std::string value;
};

// Sets the field of the index-th node of exactly the class (with or without
// Coin's "So" prefix) below `root`, counted in traversal order with
// switched-off children included, and prints "set TYPE[N].FIELD = VALUE" with
// the value as the field now holds it. False with the reason in `error` when
// the class, the node, the field or the value is not there.
bool applySetting(SoNode* root, const FieldSetting& setting, std::string& error);

}  // namespace render

#endif
