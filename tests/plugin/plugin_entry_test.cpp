#include "plugin/plugin_entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "plugin_base/impl_registry.h"
#include "tests/support/host_fixture.h"

namespace osltest {
namespace {

class PlugInRegistry : public HostTest {};

TEST(PlugInEntry, OneStaticObjectWithIdentifierZeroUntilSet) {
  IPlugIn* first = GetPlugIn();
  EXPECT_EQ(first, GetPlugIn());
  EXPECT_EQ(first->GetPluginID(), 0);
  EXPECT_TRUE(first->CanLoad());
  EXPECT_TRUE(first->IsValid());
  EXPECT_FALSE(first->CanUnload());
  EXPECT_TRUE(first->IsRequired());
  first->SetPluginID(0x199E00);
  EXPECT_EQ(first->GetPluginID(), 0x199E00);
  first->SetPluginID(0);
}

TEST_F(PlugInRegistry, RegistersExactlyTheSixteenImplementations) {
  // Registration uses the identifier it is given, not the stored one.
  GetPlugIn()->RegisterImplementations(0x199E00);
  const auto& order = host_.Objects().Order();
  std::set<ImplementationID> ids(order.begin(), order.end());
  std::set<ImplementationID> expected;
  for (ImplementationID id = 0x199E00; id <= 0x199E10; ++id) {
    if (id != 0x199E09) expected.insert(id);
  }
  EXPECT_EQ(order.size(), 16u);
  EXPECT_EQ(ids, expected);
  for (ImplementationID id : order) {
    const auto* record = host_.Objects().Find(id);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->plugin, 0x199E00);
    EXPECT_GT(record->size(), 0);
    // Every create function builds an object for a boss; destroy deletes it.
    standin::Boss boss("kTestBoss");
    IPMUnknown* impl = record->create(&boss);
    ASSERT_NE(impl, nullptr);
    record->destroy(impl);
    record->destroy(nullptr);
  }
  // Registering twice is refused by the host and changes nothing.
  GetPlugIn()->RegisterImplementations(0x199E00);
  EXPECT_EQ(host_.Objects().Order().size(), 16u);
}

TEST_F(PlugInRegistry, RegistersInListOrderWhichReversesTheInitialisers) {
  GetPlugIn()->RegisterImplementations(0x199E00);
  // Front of the list to its end.
  std::vector<ImplementationID> list;
  for (const ImplRegistration* r = osl::RegistryHead(); r; r = r->next) list.push_back(r->id);
  EXPECT_EQ(host_.Objects().Order(), list);
  // The four suite records are initialised in one file in the order 0x199E04,
  // 0x199E05, 0x199E06, 0x199E07; each is pushed onto the front of the list,
  // so they register in the reverse order.
  std::vector<ImplementationID> suites;
  for (ImplementationID id : list) {
    if (id >= 0x199E04 && id <= 0x199E07) suites.push_back(id);
  }
  EXPECT_EQ(suites, (std::vector<ImplementationID>{0x199E07, 0x199E06, 0x199E05, 0x199E04}));
}

TEST(PlugInEntry, ResourceFileIsTheModuleItself) {
  // Linked into this test, the module is the test program.
  const IDFile file = GetPlugIn()->GetResourceFile();
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(file.GetPath(), std::string(self, static_cast<size_t>(n)));
  EXPECT_EQ(OslResourceFileInfo().flags, 0);
  EXPECT_EQ(OslResourceFileInfo().handle, nullptr);
}

}  // namespace
}  // namespace osltest
