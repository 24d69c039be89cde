// Hostile profiles through the built program: loops, depth, huge and endless
// files, special files, vast folders, strange names and broken bytes. Each run
// must end with its defined exit code within a time that grows only with the
// profile's size, stay under 256 MiB of memory, export every readable contact
// (whole records, 55 fields each), and leave the profile exactly as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "hostile/hostile_support.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using hostile::ContactCard;
using hostile::ContactRecord;
using hostile::Describe;

using namespace std::string_literals;

constexpr long kMemoryLimitKiB = 256 * 1024;

// The fields of one output line (without its CR LF), unquoted; nothing when
// the line is not a sequence of quoted fields joined by commas.
std::optional<std::vector<std::string>> SplitRecord(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  for (;;) {
    if (i >= line.size() || line[i] != '"') return std::nullopt;
    std::string field;
    for (++i;; ++i) {
      if (i >= line.size()) return std::nullopt;
      if (line[i] == '"') {
        if (i + 1 < line.size() && line[i + 1] == '"') {
          field += '"';
          ++i;
          continue;
        }
        ++i;
        break;
      }
      field += line[i];
    }
    fields.push_back(std::move(field));
    if (i == line.size()) return fields;
    if (line[i] != ',') return std::nullopt;
    ++i;
  }
}

// The records of an output file, each split into its fields. A file that
// does not end in CR LF or holds a line of other than 55 quoted fields fails
// the test.
std::vector<std::vector<std::string>> Records(const std::string& file) {
  std::vector<std::vector<std::string>> records;
  std::size_t start = 0;
  while (start < file.size()) {
    const std::size_t end = file.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "the file ends in part of a line";
      break;
    }
    const auto fields = SplitRecord(std::string_view(file).substr(start, end - start));
    if (!fields || fields->size() != 55) {
      ADD_FAILURE() << "line " << records.size() + 1 << " is not 55 quoted fields";
    } else {
      records.push_back(*fields);
    }
    start = end + 2;
  }
  return records;
}

void WriteRepeated(const fs::path& path, const std::string& head, char fill, std::uint64_t count,
                   const std::string& tail) {
  std::ofstream out(path, std::ios::binary);
  out << head;
  const std::string block(1 << 20, fill);
  for (std::uint64_t left = count; left > 0;) {
    const std::uint64_t n = std::min<std::uint64_t>(left, block.size());
    out.write(block.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  out << tail;
}

class HostileProfileTest : public testing::Test {
 protected:
  explicit HostileProfileTest(bool inMemory = false) : dir_(inMemory) {}

  void SetUp() override {
    fs::create_directory(profile_);
    // Every profile here is a folder of .vcf files with subfolders; this
    // card comes first and must always come out.
    testfiles::WriteBytes(profile_ / "a.vcf", ContactCard("Alpha", "Anna"));
  }

  // Runs the export over the profile and checks what every hostile run owes:
  // the exit code, the time bound, the memory bound and an untouched profile.
  std::string Export(int expectedExit, double maxSeconds, hostile::RunOptions options = {}) {
    const auto before = hostile::SnapshotTree(profile_);
    options.args = {out_.string()};
    options.profile = profile_.string();
    // Sanitized builds run several times slower.
    options.timeoutSeconds = maxSeconds * (hostile::UnderSanitizer() ? 5 : 1);
    const hostile::RunResult result = hostile::RunProgram(options);
    lastPeakKiB_ = result.peakKiB;
    std::printf("[ measured ] %s: %s\n",
                testing::UnitTest::GetInstance()->current_test_info()->name(),
                Describe(result).c_str());
    EXPECT_EQ(result.exitCode, expectedExit) << Describe(result);
    if (!hostile::UnderSanitizer()) {
      EXPECT_LT(result.peakKiB, kMemoryLimitKiB) << Describe(result);
    }
    EXPECT_EQ(hostile::FirstDifference(before, hostile::SnapshotTree(profile_)), "");
    return testfiles::ReadBytes(out_);
  }

  hostile::ScratchDir dir_;
  long lastPeakKiB_ = 0;  // of the last Export
  fs::path profile_ = dir_ / "profile";
  fs::path out_ = dir_ / "out.csv";
};

TEST_F(HostileProfileTest, SymbolicLinkLoopsAreNotFollowedRound) {
  fs::create_directory(profile_ / "sub");
  testfiles::WriteBytes(profile_ / "sub" / "b.vcf", ContactCard("Beta", "Ben"));
  fs::create_directory_symlink("..", profile_ / "sub" / "back");  // to the profile itself
  fs::create_directory_symlink(".", profile_ / "sub" / "self");
  fs::create_symlink("loop.vcf", profile_ / "loop.vcf");        // resolves to itself
  fs::create_symlink("ring2.vcf", profile_ / "ring1.vcf");      // a ring of two
  fs::create_symlink("ring1.vcf", profile_ / "ring2.vcf");
  fs::create_directory_symlink("ringdir2", profile_ / "ringdir1");
  fs::create_directory_symlink("ringdir1", profile_ / "ringdir2");
  EXPECT_EQ(Export(0, 10), ContactRecord("Alpha", "Anna") + ContactRecord("Beta", "Ben"));
}

// Folders that cannot be read, as a user other than their owner: one that
// cannot be opened, one that can be listed but not searched (its entries can
// be neither examined nor opened), one that can be searched but not listed.
// The export fails there, with the contacts before it, never passing it off
// as an empty folder. (As root, the run is made as nobody, from a copy of
// the program that nobody may execute.)
TEST_F(HostileProfileTest, UnreadableFoldersFailTheExport) {
  hostile::RunOptions options;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
    const fs::path bin = dir_ / "bin";
    fs::create_directory(bin);
    fs::copy_file(testprogram::ProgramPath(), bin / "contact-export");
    const fs::path out = dir_ / "out";
    fs::create_directory(out);
    fs::permissions(out, fs::perms::all);
    for (const fs::path& p : {dir_.path(), bin, bin / "contact-export"}) {
      fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    }
    options.program = (bin / "contact-export").string();
    options.asNobody = true;
    out_ = out / "out.csv";
  }
  fs::create_directory(profile_ / "b");
  testfiles::WriteBytes(profile_ / "b" / "b.vcf", ContactCard("Beta", "Ben"));
  fs::create_directory(profile_ / "b" / "sub");
  fs::create_directory(profile_ / "c");
  testfiles::WriteBytes(profile_ / "c" / "c.vcf", ContactCard("Gamma", "Gil"));
  // Shows that the run can read the profile at all.
  EXPECT_EQ(Export(0, 10, options), ContactRecord("Alpha", "Anna") + ContactRecord("Beta", "Ben") +
                                        ContactRecord("Gamma", "Gil"));
  for (const fs::perms mode : {fs::perms::none, fs::perms::owner_read | fs::perms::group_read |
                                                    fs::perms::others_read,
                               fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec}) {
    SCOPED_TRACE(static_cast<int>(mode));
    fs::permissions(profile_ / "b", mode);
    EXPECT_EQ(Export(56, 10, options), ContactRecord("Alpha", "Anna"));
    fs::permissions(profile_ / "b", fs::perms::owner_all);
  }
}

// A tree deeper than the longest path the system takes: twenty levels of
// 250-byte names, a contact in each. Every one is exported.
TEST_F(HostileProfileTest, FoldersBeyondThePathLengthLimit) {
  std::vector<std::pair<int, std::string>> cards;
  std::string expected = ContactRecord("Alpha", "Anna");
  for (int level = 1; level <= 20; ++level) {
    cards.emplace_back(level, ContactCard("Level", std::to_string(level)));
    expected += ContactRecord("Level", std::to_string(level));
  }
  hostile::MakeNestedFolders(profile_, 20, std::string(250, 'n'), cards);
  EXPECT_EQ(Export(0, 10), expected);
}

// Too few file descriptors for a tree of 30 levels, a contact in each: the
// export fails where it runs out, the file holding whole records only, never
// passing the folders it could not open off as empty. The program starts with
// descriptors 0-2 only; connecting takes 3 (the single-instance lock) and,
// for a moment, 4 (listing the profile), so connecting succeeds at every limit
// here and what each leaves is fixed: at 5, after the output file (4), none
// for the profile's directory; at 6 none for its first listing; at 12 and 20
// the walk runs out some levels down.
TEST_F(HostileProfileTest, NoFileDescriptorsLeft) {
  if (hostile::UnderSanitizer()) GTEST_SKIP() << "the sanitizers' own runtime needs more descriptors";
  std::vector<std::pair<int, std::string>> cards;
  std::vector<std::string> records = {ContactRecord("Alpha", "Anna")};
  for (int level = 1; level <= 30; ++level) {
    cards.emplace_back(level, ContactCard("Level", std::to_string(level)));
    records.push_back(ContactRecord("Level", std::to_string(level)));
  }
  hostile::MakeNestedFolders(profile_, 30, "d", cards);
  for (const std::uint64_t limit : {5, 6, 12, 20}) {
    SCOPED_TRACE(limit);
    hostile::RunOptions options;
    options.openFileLimit = limit;
    std::size_t whole = 0;
    EXPECT_TRUE(hostile::IsPrefixOfRecords(Export(56, 10, options), records, &whole));
    EXPECT_LT(whole, records.size());
  }
}

// A folder reached along two paths is exported once, along the first: two
// links to one folder in the same folder at each level (a lattice whose
// paths double with each level), a link from inside the contacts folder to
// a sibling of it (exported there, as it is not exported otherwise), and a
// link to a folder that comes later in the walk.
TEST_F(HostileProfileTest, FoldersReachedTwiceAreExportedOnce) {
  for (int depth : {16, 40}) {
    SCOPED_TRACE(depth);
    hostile::RemoveTree(profile_);
    fs::create_directory(profile_);
    testfiles::WriteBytes(profile_ / "a.vcf", ContactCard("Alpha", "Anna"));
    std::string expected = ContactRecord("Alpha", "Anna");
    fs::path level = profile_;
    for (int i = 1; i <= depth; ++i) {
      fs::create_directory(level / "a");
      fs::create_directory_symlink("a", level / "b");
      level /= "a";
      testfiles::WriteBytes(level / "c.vcf", ContactCard("Level", std::to_string(i)));
      expected += ContactRecord("Level", std::to_string(i));
    }
    EXPECT_EQ(Export(0, 10), expected);
  }
  hostile::RemoveTree(profile_);
  fs::create_directories(profile_ / "s" / "Archive");
  fs::create_directories(profile_ / "s" / "Contacts" / "A");
  fs::create_directories(profile_ / "s" / "Contacts" / "B");
  testfiles::WriteBytes(profile_ / "s" / "Archive" / "x.vcf", ContactCard("Xray", "Xia"));
  testfiles::WriteBytes(profile_ / "s" / "Contacts" / "c.vcf", ContactCard("Charlie", "Cy"));
  testfiles::WriteBytes(profile_ / "s" / "Contacts" / "B" / "b.vcf", ContactCard("Beta", "Ben"));
  fs::create_directory_symlink("../../Archive", profile_ / "s" / "Contacts" / "A" / "archive");
  fs::create_directory_symlink("../B", profile_ / "s" / "Contacts" / "A" / "b");
  EXPECT_EQ(Export(0, 10), ContactRecord("Charlie", "Cy") + ContactRecord("Xray", "Xia") +
                               ContactRecord("Beta", "Ben"));
}

// Profiles of very many entries, built in memory where possible.
class VastProfileTest : public HostileProfileTest {
 protected:
  VastProfileTest() : HostileProfileTest(true) {}
};

// Ten thousand levels: the walk goes down to its documented depth limit of
// 1024 folders, has exported everything above it, and then stops with a
// failure rather than claiming a complete export.
TEST_F(VastProfileTest, TenThousandNestedFoldersStopAtTheDepthLimit) {
  hostile::MakeNestedFolders(profile_, 10000, "d",
                             {{1, ContactCard("Level", "One")},
                              {1000, ContactCard("Level", "Thousand")},
                              {10000, ContactCard("Level", "TenThousand")}});
  EXPECT_EQ(Export(56, 60), ContactRecord("Alpha", "Anna") + ContactRecord("Level", "One") +
                                ContactRecord("Level", "Thousand"));
}

// 100 MB without a single line break is no card at all: one unreadable item,
// skipped, and the cards around it are exported.
TEST_F(HostileProfileTest, HundredMegabyteFileOnOneLine) {
  WriteRepeated(profile_ / "b-one-line.vcf", "BEGIN:VCARD;", 'x', 100 << 20, "");
  testfiles::WriteBytes(profile_ / "c.vcf", ContactCard("Gamma", "Gil"));
  EXPECT_EQ(Export(0, 60), ContactRecord("Alpha", "Anna") + ContactRecord("Gamma", "Gil"));
}

// A card whose note is one line of 100 MB is exported (its note cut to what
// a field can hold); one of 250 MB lies past the largest card the store
// reads and may be skipped as unreadable, but memory stays bounded either way.
TEST_F(HostileProfileTest, HugeValueOnOneLine) {
  testfiles::WriteBytes(profile_ / "c.vcf", ContactCard("Gamma", "Gil"));
  for (std::uint64_t megabytes : {100, 250}) {
    SCOPED_TRACE(std::to_string(megabytes) + " MB");
    WriteRepeated(profile_ / "b-big-note.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Big;Note\r\nNOTE:",
                  'x', megabytes << 20, "\r\nEND:VCARD\r\n");
    const auto records = Records(Export(0, 60));
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records.front()[0], "Alpha");
    EXPECT_EQ(records.back()[0], "Gamma");
    if (megabytes == 100) {
      ASSERT_EQ(records.size(), 3u);
      EXPECT_EQ(records[1][0], "Big");
      EXPECT_EQ(records[1][18].substr(0, 3), "xxx");
    }
  }
}

// A card larger than the largest card the store reads is one unreadable
// item: the cards before and after it in the same file are still exported.
TEST_F(HostileProfileTest, CardOverTheLimitBetweenSmallCards) {
  WriteRepeated(profile_ / "b.vcf",
                ContactCard("Before", "Bea") + "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Huge;Hal\r\nNOTE:", 'x',
                std::uint64_t{130} << 20, "\r\nEND:VCARD\r\n" + ContactCard("After", "Abe"));
  testfiles::WriteBytes(profile_ / "c.vcf", ContactCard("Gamma", "Gil"));
  EXPECT_EQ(Export(0, 60), ContactRecord("Alpha", "Anna") + ContactRecord("Before", "Bea") +
                               ContactRecord("After", "Abe") + ContactRecord("Gamma", "Gil"));
}

// Two cards just under that limit in one file are both exported, without
// both of them in memory at once.
TEST_F(HostileProfileTest, TwoCardsJustUnderTheLimit) {
  std::ofstream out(profile_ / "b.vcf", std::ios::binary);
  const std::string note(std::size_t{126} << 20, 'x');
  for (const char* first : {"One", "Two"}) {
    out << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Big;" << first << "\r\nNOTE:" << note << "\r\nEND:VCARD\r\n";
  }
  out.close();
  const auto records = Records(Export(0, 60));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1][1], "One");
  EXPECT_EQ(records[2][1], "Two");
}

// Millions of small cards in one file: the store keeps where only a window
// of them lies, so memory does not grow with their number. (At 16 bytes a
// card, 20 million cards alone would take 305 MiB; here two million more
// cards may add at most 4 MiB.)
TEST_F(HostileProfileTest, MillionsOfCardsInOneFile) {
  long peaks[2] = {0, 0};
  const int counts[2] = {1200000, 3200000};
  // Sanitized builds (memory figures meaningless, runs slower) check only the
  // items of the first.
  const int runs = hostile::UnderSanitizer() ? 1 : 2;
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE(counts[run]);
    {
      std::ofstream out(profile_ / "b.vcf", std::ios::binary);
      out << ContactCard("First", "Fay");
      std::string nameless;
      for (int i = 0; i < 10000; ++i) nameless += "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:n\r\nEND:VCARD\r\n";
      for (int i = 0; i < counts[run] / 10000; ++i) out << nameless;
      out << ContactCard("Last", "Lee");
    }
    EXPECT_EQ(Export(0, 60), ContactRecord("Alpha", "Anna") + ContactRecord("First", "Fay") +
                                 ContactRecord("Last", "Lee"));
    peaks[run] = lastPeakKiB_;
  }
  if (!hostile::UnderSanitizer()) {
    EXPECT_LT(peaks[1] - peaks[0], 4 * 1024) << peaks[0] << " KiB, then " << peaks[1] << " KiB";
  }
}

// A card of 100,000 numbers tied to Apple labels by their item groups, a
// label before or after its number: each number gets its own label.
TEST_F(HostileProfileTest, HundredThousandLabelledNumbers) {
  std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Labels;Many\r\n";
  constexpr int kCount = 100000;
  for (int i = 1; i < kCount; ++i) {
    const std::string item = "item" + std::to_string(i);
    card += item + ".TEL:" + std::to_string(i) + "\r\n" + item + ".X-ABLabel:_$!<Car>!$_\r\n";
  }
  const std::string last = "item" + std::to_string(kCount);
  card += last + ".X-ABLabel:_$!<Pager>!$_\r\n" + last + ".TEL:" + std::to_string(kCount) + "\r\nEND:VCARD\r\n";
  testfiles::WriteBytes(profile_ / "b.vcf", card);
  const auto records = Records(Export(0, 10));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1][36], "1");       // CarTelephoneNumber: the first car number
  EXPECT_EQ(records[1][47], "100000");  // PagerNumber: the one pager number
  EXPECT_EQ(records[1][45], "");        // OtherTelephoneNumber: no number without its label
}

// Files joined with cat: a UTF-8 byte-order mark at the start of a line is
// not text, so the card after it is found and read like any other.
TEST_F(HostileProfileTest, ByteOrderMarksOfJoinedFiles) {
  const std::string mark = "\xEF\xBB\xBF";
  testfiles::WriteBytes(profile_ / "b.vcf", mark + ContactCard("Beta", "Ben") + mark +
                                                ContactCard("Gamma", "Gil") + mark + "begin:vcard\r\n" +
                                                mark + "VERSION:3.0\r\n" + mark + "N:Delta;Dan\r\n" +
                                                mark + "END:VCARD\r\n" + ContactCard("Echo", "Eve"));
  EXPECT_EQ(Export(0, 10), ContactRecord("Alpha", "Anna") + ContactRecord("Beta", "Ben") +
                               ContactRecord("Gamma", "Gil") +
                               testfiles::RecordLine({"Delta", "Dan"}) +
                               ContactRecord("Echo", "Eve"));
}

// Running out of memory while a card is read ends the export as a failure
// part-way (whole records only), never as a crash.
TEST_F(HostileProfileTest, OutOfMemoryEndsAsAFailure) {
  if (hostile::UnderSanitizer()) GTEST_SKIP() << "the sanitizer's shadow memory needs more address space";
  WriteRepeated(profile_ / "b.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Huge;Hal\r\nNOTE:", 'x',
                std::uint64_t{60} << 20, "\r\nEND:VCARD\r\n");
  hostile::RunOptions options;
  options.args = {out_.string()};
  options.profile = profile_.string();
  options.addressSpaceLimit = std::uint64_t{64} << 20;
  options.measureMemory = false;  // the launcher would run under the limit too
  const hostile::RunResult result = hostile::RunProgram(options);
  EXPECT_EQ(result.signal, 0) << Describe(result);
  EXPECT_TRUE(result.exitCode == 54 || result.exitCode == 56) << Describe(result);
  const std::string file = testfiles::ReadBytes(out_);
  EXPECT_TRUE(hostile::IsPrefixOfRecords(file, {ContactRecord("Alpha", "Anna")})) << file;
}

// Only regular files are read: a FIFO (never opened for reading, so never a
// hang), links to endless devices, a broken link. A directory named like a
// card file is a folder.
TEST_F(HostileProfileTest, SpecialFilesNamedLikeCardFiles) {
  ASSERT_EQ(mkfifo((profile_ / "fifo.vcf").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", profile_ / "zero.vcf");
  fs::create_symlink("/dev/urandom", profile_ / "random.vcf");
  fs::create_symlink("/nonexistent/missing.vcf", profile_ / "broken.vcf");
  fs::create_directory(profile_ / "folder.vcf");
  testfiles::WriteBytes(profile_ / "folder.vcf" / "in.vcf", ContactCard("Inner", "Ida"));
  testfiles::WriteBytes(profile_ / "z.vcf", ContactCard("Zulu", "Zed"));
  EXPECT_EQ(Export(0, 10), ContactRecord("Alpha", "Anna") + ContactRecord("Zulu", "Zed") +
                               ContactRecord("Inner", "Ida"));
}

// One card with a million properties: the first of each kind counts, the
// notes are joined.
TEST_F(HostileProfileTest, CardWithAMillionProperties) {
  std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Many;Props;;;\r\n";
  const std::string lines[] = {"TEL;TYPE=home:111\r\n", "NOTE:n\r\n", "X-CUSTOM:v\r\n",
                               "ADR;TYPE=work:;;Street;City;;;\r\n"};
  card.reserve(card.size() + 250000 * 60);
  for (int i = 0; i < 250000; ++i) {
    for (const std::string& line : lines) card += line;
  }
  card += "END:VCARD\r\n";
  testfiles::WriteBytes(profile_ / "b-many.vcf", card);
  const auto records = Records(Export(0, 60));
  ASSERT_EQ(records.size(), 2u);
  const std::vector<std::string>& many = records[1];
  EXPECT_EQ(many[0], "Many");
  EXPECT_EQ(many[13], "111");  // HomeTelephoneNumber
  EXPECT_EQ(many[14], "111");  // Home2TelephoneNumber
  EXPECT_EQ(many[29], "City");  // BusinessAddressCity
  // 250,000 notes joined by line breaks, each written as one space.
  EXPECT_EQ(many[18].size(), 250000u * 2 - 1);
  EXPECT_EQ(many[18].substr(0, 5), "n n n");
}

TEST_F(VastProfileTest, HundredThousandEmptyFilesInOneFolder) {
  const fs::path many = profile_ / "many";
  fs::create_directory(many);
  for (int i = 0; i < 100000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "e%06d.vcf", i);
    const int fd = open((many / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  testfiles::WriteBytes(many / "z.vcf", ContactCard("Zulu", "Zed"));
  EXPECT_EQ(Export(0, 60), ContactRecord("Alpha", "Anna") + ContactRecord("Zulu", "Zed"));
}

// Names are bytes: line breaks and invalid UTF-8 in file and folder names.
// Files come in byte order of their names, then the folders.
TEST_F(HostileProfileTest, NamesWithLineBreaksAndInvalidUtf8) {
  testfiles::WriteBytes(profile_ / "new\nline.vcf", ContactCard("Newline", "File"));
  testfiles::WriteBytes(profile_ / "\xff\xfe.vcf", ContactCard("Invalid", "File"));
  fs::create_directory(profile_ / "new\nfolder");
  testfiles::WriteBytes(profile_ / "new\nfolder" / "c.vcf", ContactCard("Newline", "Folder"));
  fs::create_directory(profile_ / "\xc3\x28");
  testfiles::WriteBytes(profile_ / "\xc3\x28" / "c.vcf", ContactCard("Invalid", "Folder"));
  EXPECT_EQ(Export(0, 10), ContactRecord("Alpha", "Anna") + ContactRecord("Newline", "File") +
                               ContactRecord("Invalid", "File") +
                               ContactRecord("Newline", "Folder") +
                               ContactRecord("Invalid", "Folder"));
}

// NUL bytes, invalid UTF-8 and invalid Shift_JIS in values: each card still
// gives one record of 55 fields, the readable fields intact.
TEST_F(HostileProfileTest, BrokenBytesInValues) {
  const std::string cards[] = {
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Nul\0Byte;Nul;;;\r\nNOTE:a\0b\r\nEND:VCARD\r\n"s,
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Caf\xe9\xff;Utf8;;;\r\nEND:VCARD\r\n",
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN;CHARSET=UTF-8:\xc3\x28\xed\xa0\x80\xf8\x88\x80\x80\x80;Charset;;;\r\nEND:VCARD\r\n",
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:\x81\x20\xa0\xfd\x85\x40\xef;Sjis\r\nEND:VCARD\r\n",
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=81=FF=00;Qp\r\nEND:VCARD\r\n",
  };
  std::string file;
  for (const std::string& card : cards) file += card;
  testfiles::WriteBytes(profile_ / "b-broken.vcf", file + ContactCard("Zulu", "Zed"));
  const auto records = Records(Export(0, 10));
  ASSERT_EQ(records.size(), 7u);
  const char* firstNames[] = {"Anna", "Nul", "Utf8", "Charset", "Sjis", "Qp", "Zed"};
  for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i][1], firstNames[i]);
  EXPECT_EQ(records[1][0].substr(0, 3), "Nul");
  EXPECT_EQ(records[2][0].substr(0, 3), "Caf");
}

// Quoted-printable that ends inside an escape or on a soft line break at the
// end of the card or the file.
TEST_F(HostileProfileTest, QuotedPrintableCutOffMidEscape) {
  const std::string head = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Cut;";
  testfiles::WriteBytes(profile_ / "b.vcf",
                        head + "One\r\nNOTE;ENCODING=QUOTED-PRINTABLE:abc=4\r\nEND:VCARD\r\n" +
                            head + "Two\r\nNOTE;ENCODING=QUOTED-PRINTABLE:abc=\r\nEND:VCARD\r\n" +
                            head + "Three\r\nN;ENCODING=QUOTED-PRINTABLE:Q=");
  const auto records = Records(Export(0, 10));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[1][1], "One");
  EXPECT_EQ(records[2][1], "Two");
  EXPECT_EQ(records[3][1], "Three");
}

// A card without END:VCARD runs to the next BEGIN:VCARD or the end of its
// file; the cards after it are not lost.
TEST_F(HostileProfileTest, BeginWithoutEnd) {
  const auto withoutEnd = [](const std::string& last, const std::string& first) {
    const std::string card = ContactCard(last, first);
    return card.substr(0, card.size() - std::string("END:VCARD\r\n").size());
  };
  testfiles::WriteBytes(profile_ / "b.vcf", withoutEnd("Open", "First") +
                                                ContactCard("Closed", "Second") +
                                                withoutEnd("Open", "Last"));
  testfiles::WriteBytes(profile_ / "c.vcf", ContactCard("Gamma", "Gil"));
  EXPECT_EQ(Export(0, 10), ContactRecord("Alpha", "Anna") + ContactRecord("Open", "First") +
                               ContactRecord("Closed", "Second") + ContactRecord("Open", "Last") +
                               ContactRecord("Gamma", "Gil"));
}

// AGENT cards are part of the card that holds them, not contacts of their
// own, however deep they are nested.
TEST_F(HostileProfileTest, CardsNestedThroughAgent) {
  std::string deep = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Deep;Outer\r\n";
  for (int i = 0; i < 100000; ++i) deep += "AGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN:Agent;Inner\r\n";
  for (int i = 0; i < 100000; ++i) deep += "END:VCARD\r\n";
  deep += "END:VCARD\r\n";
  testfiles::WriteBytes(profile_ / "b.vcf",
                        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Boss;Bea\r\nAGENT:\r\n" +
                            ContactCard("Agent", "Smith") + "TEL;WORK:222\r\nEND:VCARD\r\n" + deep +
                            ContactCard("Gamma", "Gil"));
  const auto records = Records(Export(0, 30));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[1][0], "Boss");
  EXPECT_EQ(records[1][32], "222");  // BusinessTelephoneNumber, after the agent
  EXPECT_EQ(records[2][0], "Deep");
  EXPECT_EQ(records[3][0], "Gamma");
}

// Outlook data files that are not: a FIFO (never opened, so never a hang),
// a link to an endless device, random bytes and a real file cut short. Each
// is a failing store; the default store failing, the export takes the last
// top-level folder, a working directory store, and all of its subfolders.
TEST_F(HostileProfileTest, DataFilesThatAreNot) {
  fs::remove(profile_ / "a.vcf");  // a profile of stores, not of cards
  ASSERT_EQ(mkfifo((profile_ / "a-fifo.pst").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", profile_ / "b-zero.pst");
  fs::create_symlink("/dev/urandom", profile_ / "c-random.ost");
  std::string noise(1 << 20, '\0');
  std::uint32_t state = 12345;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245 + 12345) >> 24);
  testfiles::WriteBytes(profile_ / "d-noise.pst", noise);
  REQUIRE_DATA_DIR(samples, "pst");
  const std::string whole = testfiles::ReadBytes(samples / "aspose-SampleContacts.pst");
  ASSERT_FALSE(whole.empty());
  testfiles::WriteBytes(profile_ / "e-cut.pst", whole.substr(0, whole.size() / 3));
  fs::create_directories(profile_ / "z-store" / "Contacts" / "Sub");
  testfiles::WriteBytes(profile_ / "z-store" / "Contacts" / "c.vcf", ContactCard("Zulu", "Zed"));
  testfiles::WriteBytes(profile_ / "z-store" / "Contacts" / "Sub" / "c.vcf",
                        ContactCard("Sub", "Sam"));
  EXPECT_EQ(Export(0, 20), ContactRecord("Zulu", "Zed") + ContactRecord("Sub", "Sam"));
}

// A profile that is itself a FIFO or a link to a device, named as a card file
// or a data file: never a hang. A card file that cannot be read is a folder
// whose one item is unreadable (an empty export); a data file that cannot be
// read is a failing store, and with no other store there is nothing to export.
TEST_F(HostileProfileTest, ProfileThatIsItselfASpecialFile) {
  const struct {
    const char* name;
    bool fifo;
    int exitCode;
  } cases[] = {{"fifo.vcf", true, 0},   {"fifo.pst", true, 55},
               {"zero.vcf", false, 0},  {"zero.ost", false, 55}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    profile_ = dir_ / c.name;
    if (c.fifo) {
      ASSERT_EQ(mkfifo(profile_.c_str(), 0644), 0);
    } else {
      fs::create_symlink("/dev/zero", profile_);
    }
    EXPECT_EQ(Export(c.exitCode, 10), "");
  }
}

}  // namespace
