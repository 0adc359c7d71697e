#include "oracle/CRCommand.h"

#include "dataset/text/CRParser.h"

namespace tarnwick {

void TCRCommand::SetConnection(TCRConnection* connection) {
  FConnection = connection;
}

void TCRCommand::SetSQL(const std::string& sql) {
  FSQL = sql;
}

std::unique_ptr<TParamDesc> TCRCommand::CreateParamDesc() const {
  return std::make_unique<TParamDesc>();
}

TParamDesc* TCRCommand::AddParam() {
  FParams.push_back(CreateParamDesc());
  return FParams.back().get();
}

TParamDesc* TCRCommand::FindParam(const std::string& name) const {
  for (const auto& p : FParams)
    if (SameTextAscii(p->Name, name)) return p.get();
  return nullptr;
}

bool TCRCommand::SetProp(int prop, const TPropValue& value) {
  switch (prop) {
    case prAutoCommit:
      FAutoCommit = PropBool(value, prop);
      return true;
    default:
      UnknownPropCode(prop);
  }
}

bool TCRCommand::GetProp(int prop, TPropValue& value) {
  switch (prop) {
    case prScanParams:
      value = false;
      return true;
    case prCommandInternal:
      value = FInternalFlag;
      return true;
    default:
      UnknownPropCode(prop);
  }
}

}  // namespace tarnwick
