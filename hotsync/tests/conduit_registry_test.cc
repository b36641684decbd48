// Conduit registrations in the registry: where an entry goes by HotSync version, updating
// instead of duplicating, removal by creator range, and the messages of failures.
#include "hotsync/conduit_registry.h"

#include "hotsync_fixture.h"
#include "platform/registry.h"

namespace hotsync::testing {
namespace {

using nb::reg::Hive;

constexpr char kPalm[] = "Software\\Palm Computing\\Pilot Desktop";

uint32_t Id(const char* s) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
         uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

ConduitRegistration Entry(const char* creator, const char* conduit = "/c/syncconduit.so") {
  ConduitRegistration e;
  e.creator = Id(creator);
  e.conduit = conduit;
  e.name = "Nimbra EE App";
  return e;
}

class HotSyncRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(nb::reg::CreateKey(Hive::kCurrentUser, kPalm)); }
  std::string Write(const ConduitRegistration& e, uint32_t version, bool create = true) {
    std::string error;
    EXPECT_TRUE(
        WriteRegistration(kPalm, e, RegistrationKeyName(e.creator), create, version, &error))
        << error;
    return error;
  }
  nb::testing::TempPrefix prefix_;
};

TEST_F(HotSyncRegistryTest, EntryHoldsTheEightValuesInOrder) {
  Write(Entry("QMNB"), 4 * 65536);
  auto values = nb::reg::Values(Hive::kCurrentUser, std::string(kPalm) + "\\ApplicationNimbraEE");
  std::vector<std::string> names;
  for (auto& [name, v] : values) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"Conduit", "Creator", "Directory", "File0",
                                             "Integrate", "Module", "Remote0", "Name"}));
  EXPECT_EQ(values[1].second.number, Id("QMNB"));
  EXPECT_EQ(values[1].second.kind, nb::reg::Value::Kind::kDword);
  EXPECT_EQ(values[2].second.text, "NimbraEE");
  EXPECT_EQ(values[4].second.kind, nb::reg::Value::Kind::kDword);
  EXPECT_EQ(values[4].second.number, 0u);
  EXPECT_EQ(values[7].second.text, "Nimbra EE App");
}

TEST_F(HotSyncRegistryTest, KeyNamesFollowTheCreator) {
  EXPECT_EQ(RegistrationKeyName(Id("QMNB")), "ApplicationNimbraEE");
  EXPECT_EQ(RegistrationKeyName(Id("QMN7")), "ApplicationNimbraQTX7");
  EXPECT_EQ(RegistrationKeyName(Id("ABCD")), "ApplicationNimbra_OEM_ABCD");
}

TEST_F(HotSyncRegistryTest, BeforeHotSync2EntriesAreNumbered) {
  Write(Entry("AAAA"), 65536);
  Write(Entry("BBBB"), 65536);
  Write(Entry("AAAA", "/other.so"), 65536);  // updated in place
  auto list = ListRegistrations(kPalm);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].key, "Application0");
  EXPECT_EQ(list[0].conduit, "/other.so");
  EXPECT_EQ(list[1].key, "Application1");
}

TEST_F(HotSyncRegistryTest, AnEntryBeyondAGapIsUpdatedNotDuplicated) {
  for (uint32_t version : {65536u, 3u * 65536}) {
    nb::reg::DeleteKey(Hive::kCurrentUser, kPalm);
    nb::reg::SetString(Hive::kCurrentUser, std::string(kPalm) + "\\Application1", "Conduit", "/x");
    nb::reg::SetDword(Hive::kCurrentUser, std::string(kPalm) + "\\Application1", "Creator",
                      Id("BBBB"));
    Write(Entry("BBBB"), version);
    Write(Entry("CCCC"), version);
    auto list = ListRegistrations(kPalm);
    ASSERT_EQ(list.size(), 2u) << version;
    EXPECT_EQ(list[0].key, "Application1");
    EXPECT_EQ(list[0].conduit, "/c/syncconduit.so");
    EXPECT_EQ(list[1].key, version < 2 * 65536 ? "Application0" : "ApplicationNimbra_OEM_CCCC");
  }
}

TEST_F(HotSyncRegistryTest, FromHotSync2TheNamedKeyIsUsedAndUpdated) {
  nb::reg::SetDword(Hive::kCurrentUser, std::string(kPalm) + "\\Application0", "Creator",
                    Id("ZZZZ"));
  Write(Entry("ABCD"), 3 * 65536);
  Write(Entry("ABCD", "/new.so"), 3 * 65536);
  // An existing numbered entry of the creator wins over the named key.
  nb::reg::SetString(Hive::kCurrentUser, std::string(kPalm) + "\\Application1", "Conduit", "/x");
  nb::reg::SetDword(Hive::kCurrentUser, std::string(kPalm) + "\\Application1", "Creator",
                    Id("QMNB"));
  Write(Entry("QMNB"), 3 * 65536);
  // Without `create` a missing entry is left missing.
  Write(Entry("QMN1"), 3 * 65536, false);

  auto list = ListRegistrations(kPalm);  // Application0 has no conduit: not an entry
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].key, "ApplicationNimbra_OEM_ABCD");
  EXPECT_EQ(list[0].conduit, "/new.so");
  EXPECT_EQ(list[1].key, "Application1");
  EXPECT_EQ(list[1].conduit, "/c/syncconduit.so");
}

TEST_F(HotSyncRegistryTest, RemovalTakesTheCreatorRangeOnly) {
  Write(Entry("QMN3"), 4 * 65536);
  Write(Entry("QMNB"), 4 * 65536);
  Write(Entry("QMN9"), 4 * 65536);
  nb::reg::CreateKey(Hive::kCurrentUser, std::string(kPalm) + "\\Core");
  std::string error;
  ASSERT_TRUE(RemoveRegistrations(kPalm, Id("QMN0"), Id("QMN9"), &error)) << error;
  auto list = ListRegistrations(kPalm);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].creator, Id("QMNB"));
  EXPECT_TRUE(nb::reg::KeyExists(Hive::kCurrentUser, std::string(kPalm) + "\\Core"));
}

TEST_F(HotSyncRegistryTest, MissingPalmKeyIsReported) {
  std::string error;
  EXPECT_FALSE(WriteRegistration("Software\\Nobody", Entry("ABCD"), "X", true, 4 << 16, &error));
  EXPECT_EQ(error, "Could not open Palm key = \"Software\\Nobody\"");
  EXPECT_FALSE(RemoveRegistrations("Software\\Nobody", 0, ~0u, &error));
  EXPECT_EQ(error, "Could not open Palm key = \"Software\\Nobody\"");
}

TEST_F(HotSyncRegistryTest, PalmKeysAndVersion) {
  EXPECT_EQ(FindPalmKeys().user, kPalm);
  nb::reg::CreateKey(Hive::kCurrentUser, "Software\\U.S. Robotics\\Pilot Desktop");
  EXPECT_EQ(FindPalmKeys().machine, "SOFTWARE\\U.S. Robotics\\PalmPilot Desktop");
  const std::string machine = "SOFTWARE\\Palm Computing\\Pilot Desktop";
  EXPECT_EQ(HotSyncVersion(machine), 0u);
  for (const char* v : {"3.0", "3.1", "4.0", "Foo", "5.x"})
    nb::reg::CreateKey(Hive::kLocalMachine, machine + "\\" + v);
  EXPECT_EQ(HotSyncVersion(machine), 4u * 65536);
}

}  // namespace
}  // namespace hotsync::testing
