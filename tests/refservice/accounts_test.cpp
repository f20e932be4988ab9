// Accounts: credential texts, the schema upgrade of older databases, signing in with its cache
// and upgrades of outdated credentials, and the throttle of failed sign-ins.
#include "refservice/accounts/accounts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "refservice/accounts/caller_address.h"
#include "refservice/accounts/password_hash.h"
#include "refservice/accounts/sign_in_cache.h"
#include "refservice/accounts/sign_in_throttle.h"
#include "refservice/common/sha256.h"
#include "refservice/storage/sqlite_driver.h"
#include "refservice/templates/template_manager.h"
#include "tests/refservice/old_database.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

using refservice::Accounts;
using refservice::AccountsOptions;
using refservice::Argon2Params;
using refservice::PasswordCheck;
using refservice::SignInResult;
using refservice::SqliteStore;
using refservice::Store;
using refservice::UserRecord;
using Status = refservice::SignInResult::Status;

// Cheap parameters for tests that are not about the cost.
constexpr Argon2Params kCheap{1, 64, 1};

AccountsOptions Cheap() {
  AccountsOptions options;
  options.argon2 = kCheap;
  return options;
}

std::string Credential(Store* store, const std::string& email) {
  std::optional<UserRecord> user;
  EXPECT_TRUE(store->FindUser(email, &user));
  return user ? user->credential : "<none>";
}

int UserVersion(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* stmt = nullptr;
  int version = -1;
  if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    version = sqlite3_column_int(stmt, 0);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return version;
}

TEST(PasswordHash, Argon2idCredentialsVerifyAndOutdatedOnesAreRecognised) {
  std::string credential = refservice::HashPassword("s3cret");
  EXPECT_EQ(credential.rfind("$argon2id$v=19$m=19456,t=2,p=1$", 0), 0u) << credential;
  EXPECT_EQ(refservice::VerifyPassword(credential, "s3cret"), PasswordCheck::kMatch);
  EXPECT_EQ(refservice::VerifyPassword(credential, "s3cret "), PasswordCheck::kMismatch);
  EXPECT_EQ(refservice::VerifyPassword(credential, ""), PasswordCheck::kMismatch);
  // Fresh salt every time.
  EXPECT_NE(refservice::HashPassword("s3cret"), credential);

  // Other parameters: right password still accepted, flagged for an upgrade.
  std::string cheap = refservice::HashPassword("s3cret", kCheap);
  EXPECT_EQ(refservice::VerifyPassword(cheap, "s3cret"), PasswordCheck::kMatchOutdated);
  EXPECT_EQ(refservice::VerifyPassword(cheap, "s3creT"), PasswordCheck::kMismatch);
  EXPECT_EQ(refservice::VerifyPassword(cheap, "s3cret", kCheap), PasswordCheck::kMatch);

  // The salted SHA-256 form of older accounts.
  std::string old = "sha256$0a1b$" + refservice::Sha256Hex("0a1bpass word");
  EXPECT_EQ(refservice::VerifyPassword(old, "pass word"), PasswordCheck::kMatchOutdated);
  EXPECT_EQ(refservice::VerifyPassword(old, "pass wore"), PasswordCheck::kMismatch);

  // Texts that are no usable credential never match, and absurd costs are not run.
  for (const std::string& bad :
       {std::string(), std::string("plain"), std::string("sha256$nodollar"),
        std::string("$argon2id$v=19$m=99999999,t=2,p=1$c2FsdHNhbHQ$aGFzaA"),
        std::string("$argon2id$v=19$m=64,t=0,p=1$c2FsdHNhbHQ$aGFzaA"),
        std::string("$argon2id$v=19$m=64,t=1"), credential.substr(0, credential.size() - 4)}) {
    EXPECT_EQ(refservice::VerifyPassword(bad, "s3cret"), PasswordCheck::kMismatch) << bad;
  }
  EXPECT_TRUE(refservice::ConstantTimeEquals("abc", "abc"));
  EXPECT_FALSE(refservice::ConstantTimeEquals("abc", "abd"));
  EXPECT_FALSE(refservice::ConstantTimeEquals("abc", "abcd"));
}

// A database written before credentials: salt and password_hash columns, no schema version.
TEST(AccountStore, AnOlderDatabaseOpensKeepsItsAccountsAndTheirPasswordsStillWork) {
  TempDir dir;
  const std::string path = dir.path() + "/service.db";
  std::string annHash = refservice::Sha256Hex(std::string("00ff") + "ann-pw");
  std::string bobHash = refservice::Sha256Hex(std::string("a5a5") + "bob-pw");
  ASSERT_NO_FATAL_FAILURE(RunSqlite(
      path,
      std::string(kUnversionedAccountsAndTemplates) +
          "INSERT INTO users(email, salt, password_hash) VALUES('Ann@Example.org', '00ff', '" +
          annHash + "'), ('bob@example.org', 'a5a5', '" + bobHash +
          "');"
          "INSERT INTO templates(user_id, doc_id, doc_password, name, is_active, page_count, "
          "width, height, bleed, client_type, full_screen_window) VALUES(1, "
          "'11111111-2222-4333-8444-555555555555', 'p', 'Card', 1, 1, '612', '792', '0', 0, "
          "0);"));
  ASSERT_EQ(UserVersion(path), 0);

  {
    SqliteStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, &error)) << error;
    EXPECT_EQ(UserVersion(path), refservice::SqliteSchemaVersion());
    EXPECT_EQ(store.UserCount(), 2);
    EXPECT_EQ(Credential(&store, "ann@example.org"), "sha256$00ff$" + annHash);
    EXPECT_EQ(Credential(&store, "bob@example.org"), "sha256$a5a5$" + bobHash);

    Accounts accounts(&store);
    EXPECT_EQ(accounts.SignIn("ann@example.org", "bob-pw", "").status, Status::kWrongCredentials);
    // The old password's first successful sign-in moves the account to Argon2id.
    SignInResult ann = accounts.SignIn("ANN@example.org", "ann-pw", "");
    ASSERT_TRUE(ann.ok());
    EXPECT_EQ(ann.userId, 1);
    EXPECT_EQ(Credential(&store, "ann@example.org").rfind("$argon2id$v=19$m=19456,t=2,p=1$", 0),
              0u);
    std::vector<refservice::TemplateData> templates;
    ASSERT_TRUE(store.ListTemplates(ann.userId, &templates));
    ASSERT_EQ(templates.size(), 1u);
    EXPECT_EQ(templates[0].name.value_or(""), "Card");
  }
  // Reopened (with the upgrade done): both passwords still work, in a fresh process's cache.
  SqliteStore store;
  std::string error;
  ASSERT_TRUE(store.Open(path, &error)) << error;
  Accounts accounts(&store);
  EXPECT_TRUE(accounts.SignIn("ann@example.org", "ann-pw", "").ok());
  EXPECT_TRUE(accounts.SignIn("bob@example.org", "bob-pw", "").ok());
  EXPECT_FALSE(accounts.SignIn("bob@example.org", "ann-pw", "").ok());
}

TEST(AccountStore, ADatabaseOfANewerSchemaIsRefusedUntouched) {
  TempDir dir;
  const std::string path = dir.path() + "/service.db";
  {
    SqliteStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, &error)) << error;
  }
  ASSERT_NO_FATAL_FAILURE(RunSqlite(path, "PRAGMA user_version=7"));
  SqliteStore store;
  std::string error;
  EXPECT_FALSE(store.Open(path, &error));
  EXPECT_NE(error.find("schema version 7, newer than this osl-service (" +
                       std::to_string(refservice::SqliteSchemaVersion()) + ")"),
            std::string::npos)
      << error;
  EXPECT_EQ(UserVersion(path), 7);
}

class AccountsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(store_.Open(dir_.path() + "/service.db", &error)) << error;
  }
  TempDir dir_;
  SqliteStore store_;
};

TEST_F(AccountsTest, StoreUserMethodsKeepTheCredentialTextAndCompareAndSet) {
  ASSERT_TRUE(store_.SetUserCredential("Ann@example.org", "one"));
  std::optional<UserRecord> ann;
  ASSERT_TRUE(store_.FindUser("ANN@EXAMPLE.ORG", &ann));
  ASSERT_TRUE(ann);
  EXPECT_EQ(ann->email, "Ann@example.org");
  EXPECT_EQ(ann->credential, "one");
  ASSERT_TRUE(store_.SetUserCredential("ann@example.org", "two"));  // replaces, same account
  EXPECT_EQ(store_.UserCount(), 1);
  EXPECT_EQ(Credential(&store_, "ann@example.org"), "two");

  bool replaced = true;
  ASSERT_TRUE(store_.ReplaceUserCredential(ann->id, "one", "three", &replaced));
  EXPECT_FALSE(replaced);  // changed meanwhile: left alone
  EXPECT_EQ(Credential(&store_, "ann@example.org"), "two");
  ASSERT_TRUE(store_.ReplaceUserCredential(ann->id, "two", "three", &replaced));
  EXPECT_TRUE(replaced);
  EXPECT_EQ(Credential(&store_, "ann@example.org"), "three");

  std::optional<UserRecord> nobody;
  ASSERT_TRUE(store_.FindUser("nobody@example.org", &nobody));
  EXPECT_FALSE(nobody);
}

TEST_F(AccountsTest, RemovingAnAccountRemovesExactlyItsOwnTemplates) {
  ASSERT_TRUE(store_.SetUserCredential("ann@example.org", "a"));
  ASSERT_TRUE(store_.SetUserCredential("bob@example.org", "b"));
  std::optional<UserRecord> ann, bob;
  ASSERT_TRUE(store_.FindUser("ann@example.org", &ann));
  ASSERT_TRUE(store_.FindUser("bob@example.org", &bob));
  for (const auto& [owner, id] : {std::pair{ann->id, "aaaaaaaa-0000-4000-8000-000000000001"},
                                  std::pair{bob->id, "bbbbbbbb-0000-4000-8000-000000000002"}}) {
    refservice::TemplateData data;
    data.docId = id;
    data.docPassword = "p";
    data.userId = owner;
    int64_t row = store_.InsertTemplate(data);
    ASSERT_NE(row, 0);
    ASSERT_TRUE(store_.ReplaceFields(row, {{"f", "<r/>"}}));
    ASSERT_NE(store_.AddLogicGroup(row, "G", 0), 0);
    ASSERT_TRUE(store_.AddCommit(row));
    ASSERT_EQ(store_.TakePublishLease(row, "run", 60000, nullptr), refservice::LeaseResult::kTaken);
  }
  bool removed = false;
  ASSERT_TRUE(store_.RemoveUser("ANN@example.org", &removed));
  EXPECT_TRUE(removed);
  ASSERT_TRUE(store_.RemoveUser("ann@example.org", &removed));
  EXPECT_FALSE(removed);
  EXPECT_EQ(store_.UserCount(), 1);
  std::vector<refservice::TemplateSummary> all;
  ASSERT_TRUE(store_.ListAllTemplates(&all));
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].owner, "bob@example.org");
  EXPECT_EQ(all[0].fieldCount, 1);
  EXPECT_EQ(all[0].groupCount, 1);
  EXPECT_EQ(all[0].commitCount, 1);
}

TEST_F(AccountsTest, SignInVerifiesOnceAndAPasswordChangedElsewhereTakesEffectAtOnce) {
  Accounts accounts(&store_, Cheap());
  ASSERT_TRUE(accounts.SetPassword("ann@example.org", "first"));
  ASSERT_TRUE(accounts.SignIn("ann@example.org", "first", "192.0.2.1").ok());
  ASSERT_TRUE(accounts.SignIn("ann@example.org", "first", "192.0.2.1").ok());

  // Another instance on the same database changes the password.
  SqliteStore other;
  std::string error;
  ASSERT_TRUE(other.Open(dir_.path() + "/service.db", &error)) << error;
  Accounts elsewhere(&other, Cheap());
  ASSERT_TRUE(elsewhere.SetPassword("ann@example.org", "second"));

  EXPECT_EQ(accounts.SignIn("ann@example.org", "first", "192.0.2.1").status,
            Status::kWrongCredentials);
  EXPECT_TRUE(accounts.SignIn("ann@example.org", "second", "192.0.2.1").ok());
  EXPECT_EQ(accounts.SignIn("nobody@example.org", "second", "192.0.2.1").status,
            Status::kWrongCredentials);
}

TEST_F(AccountsTest, OutdatedCredentialsAreUpgradedAtTheirNextSignIn) {
  // Made with other parameters (as after a change of the current ones): upgraded.
  ASSERT_TRUE(store_.SetUserCredential("ann@example.org", refservice::HashPassword("pw", kCheap)));
  Accounts accounts(&store_);
  std::string before = Credential(&store_, "ann@example.org");
  EXPECT_FALSE(accounts.SignIn("ann@example.org", "wrong", "").ok());
  EXPECT_EQ(Credential(&store_, "ann@example.org"), before);  // only a verified password upgrades
  ASSERT_TRUE(accounts.SignIn("ann@example.org", "pw", "").ok());
  std::string after = Credential(&store_, "ann@example.org");
  EXPECT_EQ(after.rfind("$argon2id$v=19$m=19456,t=2,p=1$", 0), 0u) << after;
  EXPECT_EQ(refservice::VerifyPassword(after, "pw"), PasswordCheck::kMatch);
  // A current credential stays as it is.
  ASSERT_TRUE(accounts.SignIn("ann@example.org", "pw", "").ok());
  EXPECT_EQ(Credential(&store_, "ann@example.org"), after);
}

// An unknown address costs an Argon2 run as a wrong password does.
TEST_F(AccountsTest, UnknownAddressesTakeAsLongAsWrongPasswords) {
  Accounts accounts(&store_);
  ASSERT_TRUE(accounts.SetPassword("ann@example.org", "pw"));
  auto median = [&](const std::string& email) {
    std::vector<double> times;
    for (int i = 0; i < 3; ++i) {
      auto start = std::chrono::steady_clock::now();
      EXPECT_FALSE(accounts.SignIn(email, "guess", "").ok());
      times.push_back(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[1];
  };
  median("nobody@example.org");  // the dummy credential is made on first use
  double unknown = median("nobody@example.org");
  double wrong = median("ann@example.org");
  EXPECT_GT(unknown, wrong * 0.3) << "unknown " << unknown << " s, wrong " << wrong << " s";
  EXPECT_GT(unknown, 0.001);
}

TEST(SignInCache, MatchesOnlyTheSameCredentialAndPasswordAndStaysBounded) {
  refservice::SignInCache cache(3);
  cache.Add("cred-a", "pw");
  EXPECT_TRUE(cache.Contains("cred-a", "pw"));
  EXPECT_FALSE(cache.Contains("cred-a", "pw2"));
  EXPECT_FALSE(cache.Contains("cred-b", "pw"));
  EXPECT_FALSE(cache.Contains(std::string("cred-a\0pw", 9), ""));
  cache.Add("cred-b", "pw");
  cache.Add("cred-c", "pw");
  EXPECT_TRUE(cache.Contains("cred-a", "pw"));  // now the most recently used
  cache.Add("cred-d", "pw");                    // drops cred-b, the least recently used
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_TRUE(cache.Contains("cred-a", "pw"));
  EXPECT_FALSE(cache.Contains("cred-b", "pw"));
  EXPECT_TRUE(cache.Contains("cred-d", "pw"));
}

TEST(SignInThrottle, RefusesAfterFiveFailuresDoublesTheWaitAndForgetsOnSuccess) {
  using std::chrono::seconds;
  refservice::SignInThrottle throttle;
  auto t = refservice::SignInThrottle::Clock::time_point() + std::chrono::hours(1);
  const std::string a = "192.0.2.1";
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(throttle.RefusedFor(a, t), 0);
    throttle.Failed(a, t);
  }
  EXPECT_EQ(throttle.RefusedFor(a, t), 0);
  throttle.Failed(a, t);  // the fifth
  EXPECT_EQ(throttle.RefusedFor(a, t), 10);
  EXPECT_EQ(throttle.RefusedFor(a, t + std::chrono::milliseconds(9500)), 1);
  EXPECT_EQ(throttle.RefusedFor("192.0.2.2", t), 0);  // other addresses are not affected
  t += seconds(10);
  EXPECT_EQ(throttle.RefusedFor(a, t), 0);
  throttle.Failed(a, t);
  EXPECT_EQ(throttle.RefusedFor(a, t), 20);
  t += seconds(20);
  throttle.Failed(a, t);
  EXPECT_EQ(throttle.RefusedFor(a, t), 40);
  // The wait stops growing at its cap.
  for (int i = 0; i < 20; ++i) {
    t += seconds(throttle.RefusedFor(a, t));
    throttle.Failed(a, t);
  }
  EXPECT_EQ(throttle.RefusedFor(a, t), 15 * 60);
  // A wrong guess a whole window after the wait it earned starts counting afresh...
  t += seconds(15 * 60) + seconds(15 * 60) + seconds(1);
  throttle.Failed(a, t);
  EXPECT_EQ(throttle.RefusedFor(a, t), 0);
  // ...and a success forgets the address.
  for (int i = 0; i < 4; ++i) throttle.Failed(a, t);
  EXPECT_EQ(throttle.RefusedFor(a, t), 10);
  throttle.Succeeded(a);
  EXPECT_EQ(throttle.RefusedFor(a, t), 0);
  throttle.Failed(a, t);
  EXPECT_EQ(throttle.RefusedFor(a, t), 0);
  // Callers of unknown address are never refused.
  for (int i = 0; i < 10; ++i) throttle.Failed("", t);
  EXPECT_EQ(throttle.RefusedFor("", t), 0);
  EXPECT_EQ(refservice::TooManyFailuresText(12),
            "too many failed sign-ins from this address; try again in 12 s");
}

TEST(SignInThrottle, TracksABoundedNumberOfAddressesDroppingTheStalest) {
  refservice::SignInThrottleOptions options;
  options.maxAddresses = 3;
  options.maxFailures = 1;
  refservice::SignInThrottle throttle(options);
  auto t = refservice::SignInThrottle::Clock::time_point() + std::chrono::hours(1);
  for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) throttle.Failed(address, t);
  throttle.Failed("10.0.0.1", t);  // the freshest now
  throttle.Failed("10.0.0.4", t);  // drops 10.0.0.2
  EXPECT_EQ(throttle.tracked(), 3u);
  EXPECT_GT(throttle.RefusedFor("10.0.0.1", t), 0);
  EXPECT_EQ(throttle.RefusedFor("10.0.0.2", t), 0);
  EXPECT_GT(throttle.RefusedFor("10.0.0.3", t), 0);
  EXPECT_GT(throttle.RefusedFor("10.0.0.4", t), 0);
}

TEST_F(AccountsTest, AnAddressWithTooManyFailuresIsRefusedEvenWithTheRightPassword) {
  Accounts accounts(&store_, Cheap());
  ASSERT_TRUE(accounts.SetPassword("ann@example.org", "pw"));
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(accounts.SignIn("ann@example.org", "guess", "198.51.100.9").status,
              Status::kWrongCredentials);
  }
  SignInResult refused = accounts.SignIn("ann@example.org", "pw", "198.51.100.9");
  EXPECT_EQ(refused.status, Status::kThrottled);
  EXPECT_GE(refused.retryAfterSeconds, 9);
  EXPECT_LE(refused.retryAfterSeconds, 10);
  // The account itself is not locked: other addresses sign in.
  EXPECT_TRUE(accounts.SignIn("ann@example.org", "pw", "198.51.100.10").ok());
}

// Failures count per account and address: a guesser at an office's address locks out only the
// account it aims at from there; the address alone is refused only far later.
TEST_F(AccountsTest, FailuresCountPerAccountAndAddressWithAHigherCapPerAddress) {
  AccountsOptions options = Cheap();
  options.addressThrottle.maxFailures = 8;
  Accounts accounts(&store_, options);
  for (const char* email : {"ann@example.org", "bo@example.org", "cy@example.org"}) {
    ASSERT_TRUE(accounts.SetPassword(email, "pw"));
  }
  const std::string office = "198.51.100.9";
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(accounts.SignIn("ann@example.org", "guess", office).status,
              Status::kWrongCredentials);
  }
  const struct {
    const char* email;
    const char* address;
    Status status;
  } afterFive[] = {
      {"ANN@example.org", "198.51.100.9", Status::kThrottled},  // the same account, any case
      {"bo@example.org", "198.51.100.9", Status::kSignedIn},    // a colleague at the address
      {"ann@example.org", "198.51.100.10", Status::kSignedIn},  // the account elsewhere
  };
  for (const auto& c : afterFive) {
    EXPECT_EQ(accounts.SignIn(c.email, "pw", c.address).status, c.status) << c.email;
  }
  // Three more failures at the address (8 in all, over two accounts) reach its own cap.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(accounts.SignIn("cy@example.org", "guess", office).status,
              Status::kWrongCredentials);
  }
  EXPECT_EQ(accounts.SignIn("bo@example.org", "wrong", office).status, Status::kThrottled);
  EXPECT_TRUE(accounts.SignIn("bo@example.org", "pw", "198.51.100.10").ok());
}

// However many wrong guesses arrive at once, only as many are verified as the count allows.
TEST_F(AccountsTest, ParallelGuessesGetNoMoreVerificationsThanTheCount) {
  // The real cost of a check, so that the guesses overlap.
  Accounts accounts(&store_);
  ASSERT_TRUE(accounts.SetPassword("ann@example.org", "pw"));
  std::atomic<int> verified{0}, throttled{0};
  std::vector<std::thread> guessers;
  for (int i = 0; i < 40; ++i) {
    guessers.emplace_back([&] {
      Status status = accounts.SignIn("ann@example.org", "guess", "203.0.113.77").status;
      (status == Status::kWrongCredentials ? verified : throttled)++;
    });
  }
  for (std::thread& guesser : guessers) guesser.join();
  EXPECT_EQ(verified.load(), 5);
  EXPECT_EQ(throttled.load(), 35);
}

TEST_F(AccountsTest, ASuccessClearsTheCountAndEveryParameterChangeRehashes) {
  Accounts accounts(&store_, Cheap());
  ASSERT_TRUE(accounts.SetPassword("ann@example.org", "pw"));
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(accounts.SignIn("ann@example.org", "guess", "192.0.2.5").status,
                Status::kWrongCredentials);
    }
    EXPECT_TRUE(accounts.SignIn("ann@example.org", "pw", "192.0.2.5").ok()) << round;
  }
  // A credential whose parameters differ from the current ones in any one of them is
  // replaced at the next sign-in.
  const Argon2Params differing[] = {{2, 64, 1}, {1, 128, 1}, {1, 64, 2}};
  for (const Argon2Params& old : differing) {
    SCOPED_TRACE(refservice::HashPassword("x", old).substr(0, 30));
    ASSERT_TRUE(store_.SetUserCredential("ann@example.org", refservice::HashPassword("pw", old)));
    Accounts fresh(&store_, Cheap());
    ASSERT_TRUE(fresh.SignIn("ann@example.org", "pw", "").ok());
    EXPECT_EQ(Credential(&store_, "ann@example.org").rfind("$argon2id$v=19$m=64,t=1,p=1$", 0),
              0u)
        << Credential(&store_, "ann@example.org");
  }
}

TEST(SignInThrottle, TheWindowStartsAtTheEndOfTheWaitNotAtTheLastFailure) {
  using std::chrono::seconds;
  refservice::SignInThrottleOptions options;
  options.window = seconds(60);
  options.firstWait = seconds(100);
  refservice::SignInThrottle throttle(options);
  auto t = refservice::SignInThrottle::Clock::time_point() + std::chrono::hours(1);
  const std::string a = "192.0.2.1";
  for (int i = 0; i < 5; ++i) throttle.Failed(a, t);
  ASSERT_EQ(throttle.RefusedFor(a, t), 100);
  // 150 s after the last failure (past the window) but 50 s after the wait: still in a row,
  // so this failure earns the doubled wait at once.
  throttle.Failed(a, t + seconds(150));
  EXPECT_EQ(throttle.RefusedFor(a, t + seconds(150)), 200);
}

// The SOAP side answers a failed call of a publish run with a fault and then abandons the run
// with the same credentials: that must not count as a second failed sign-in.
TEST_F(AccountsTest, TheTemplateOperationsCountOneFailurePerCallFromTheCallersAddress) {
  Accounts accounts(&store_, Cheap());
  ASSERT_TRUE(accounts.SetPassword("ann@example.org", "pw"));
  refservice::TemplateManager manager(&store_, &accounts);
  refservice::TemplateKey key{"aaaaaaaa-0000-4000-8000-000000000001", "p"};
  refservice::CallerAddressScope caller("203.0.113.5");
  EXPECT_EQ(refservice::CallerAddress(), "203.0.113.5");
  std::vector<refservice::FieldData> fields;
  refservice::ServiceError error;
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(manager.GetFields({"ann@example.org", "guess"}, key, &fields, &error));
    EXPECT_EQ(error.reason, "Invalid user name or password.");
    manager.AbandonPublish({"ann@example.org", "guess"}, key);
  }
  std::vector<refservice::TemplateData> list;
  EXPECT_TRUE(manager.GetLibraryTemplates({"ann@example.org", "pw"}, &list, &error))
      << error.reason;
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(manager.GetLibraryTemplates({"ann@example.org", "guess"}, &list, &error));
  }
  EXPECT_FALSE(manager.GetLibraryTemplates({"ann@example.org", "pw"}, &list, &error));
  EXPECT_TRUE(error.client);
  EXPECT_EQ(error.reason, "too many failed sign-ins from this address; try again in 10 s");
  {
    refservice::CallerAddressScope other("203.0.113.6");
    EXPECT_TRUE(manager.GetLibraryTemplates({"ann@example.org", "pw"}, &list, &error));
  }
  EXPECT_EQ(refservice::CallerAddress(), "203.0.113.5");
}

}  // namespace
}  // namespace osltest
