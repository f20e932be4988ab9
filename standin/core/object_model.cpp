#include "standin/core/object_model.h"

#include <algorithm>

namespace standin {

ErrorCode ObjectModel::Register(const Record& record) {
  if (!record.create || !record.destroy || records_.count(record.id)) return kFailure;
  records_[record.id] = record;
  order_.push_back(record.id);
  return kSuccess;
}

const ObjectModel::Record* ObjectModel::Find(ImplementationID id) const {
  auto it = records_.find(id);
  return it == records_.end() ? nullptr : &it->second;
}

void ObjectModel::ForgetPlugIn(PluginID plugin) {
  for (auto it = records_.begin(); it != records_.end();) {
    it = it->second.plugin == plugin ? records_.erase(it) : std::next(it);
  }
  order_.erase(std::remove_if(order_.begin(), order_.end(),
                              [this](ImplementationID id) { return !records_.count(id); }),
               order_.end());
  for (auto& entry : addIns_) {
    auto& list = entry.second;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [plugin](const Declared& d) { return d.plugin == plugin; }),
               list.end());
  }
  if (listener_) listener_();
}

void ObjectModel::DeclareAddIn(const std::string& hostClass, const AddIn& addIn,
                               PluginID plugin) {
  addIns_[hostClass].push_back(Declared{addIn, plugin});
  if (listener_) listener_();
}

std::unique_ptr<Boss> ObjectModel::MakeBoss(const std::string& className) const {
  auto boss = std::make_unique<Boss>(className);
  auto it = addIns_.find(className);
  if (it != addIns_.end()) {
    for (const auto& declared : it->second) {
      AddRegistered(*boss, declared.addIn.iid, declared.addIn.impl);
    }
  }
  return boss;
}

bool ObjectModel::AddRegistered(Boss& boss, PMIID iid, ImplementationID id) const {
  const Record* record = Find(id);
  if (!record || !record->create) return false;
  IPMUnknown* impl = record->create(&boss);
  if (!impl) return false;
  boss.Add(iid, impl, record->destroy);
  return true;
}

}  // namespace standin
