#include "FieldSetting.h"

#include <Inventor/SoPath.h>
#include <Inventor/SoType.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/fields/SoField.h>
#include <Inventor/nodes/SoNode.h>

#include <cstdio>

namespace render {

namespace {

// Accepts the class name with or without Coin's "So" prefix.
SoType findNodeType(const std::string& name) {
  SoType type = SoType::fromName(SbName(name.c_str()));
  if (type.isBad() && name.compare(0, 2, "So") == 0) type = SoType::fromName(SbName(name.c_str() + 2));
  if (type.isBad()) type = SoType::fromName(SbName(("So" + name).c_str()));
  return type;
}

}  // namespace

bool applySetting(SoNode* root, const FieldSetting& s, std::string& error) {
  SoType type = findNodeType(s.type);
  if (type.isBad()) {
    error = "unknown class \"" + s.type + "\" in \"" + s.text + "\"";
    return false;
  }
  if (!type.isDerivedFrom(SoNode::getClassTypeId())) {
    error = "\"" + s.type + "\" is not a node class (in \"" + s.text + "\")";
    return false;
  }
  SoSearchAction search;
  search.setType(type, FALSE);
  search.setInterest(SoSearchAction::ALL);
  search.setSearchingAll(TRUE);
  search.apply(root);
  const SoPathList& paths = search.getPaths();
  if (s.index >= paths.getLength()) {
    error = "no " + s.type + "[" + std::to_string(s.index) + "] in the scene (it has " +
            std::to_string(paths.getLength()) + " of that class)";
    return false;
  }
  SoNode* node = paths[s.index]->getTail();
  SoField* field = node->getField(SbName(s.field.c_str()));
  if (!field) {
    error = s.type + " has no field \"" + s.field + "\"";
    return false;
  }
  if (!field->set(s.value.c_str())) {
    error = "cannot set " + s.type + "." + s.field + " to \"" + s.value + "\"";
    return false;
  }
  SbString now;
  field->get(now);
  std::printf("set %s[%d].%s = %s\n", s.type.c_str(), s.index, s.field.c_str(), now.getString());
  return true;
}

}  // namespace render
