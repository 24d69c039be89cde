// One record assembled and written: CsvClearLine, 55 x CsvAddField and
// CsvWriteLine into /dev/null, with values as a typical contact has them
// (about half of the columns empty); and the lookup of the 55 property names.
#include <benchmark/benchmark.h>

#include <array>
#include <string>

#include "csv/csv_file.h"
#include "om/contact_properties.h"

namespace {

std::array<std::u16string, om::kContactPropertyCount> TypicalRecord() {
  std::array<std::u16string, om::kContactPropertyCount> values;
  const std::pair<std::size_t, const char16_t*> filled[] = {
      {0, u"佐藤"}, {1, u"花子"}, {3, u"さとう"}, {4, u"はなこ"}, {5, u"佐藤 花子"},
      {6, u"100-0001"}, {7, u"日本"}, {8, u"東京都"}, {9, u"千代田区"},
      {10, u"グランドタワー12階\r\n丸の内1-1-1"}, {12, u"090-1234-5678"}, {13, u"03-1234-5678"},
      {16, u"https://www.example.co.jp/"}, {17, u"1980-04-01"},
      {18, u"2019年の展示会で名刺交換。\r\n請求書は月末締め、翌月払い。\r\n「至急」の件は携帯へ"},
      {19, u"株式会社山田製作所"}, {20, u"ヤマダセイサクショ"}, {21, u"本社"}, {22, u"営業部"},
      {23, u"課長"}, {26, u"530-0001"}, {27, u"日本"}, {28, u"大阪府"}, {29, u"大阪市北区"},
      {30, u"梅田3-1-3"}, {32, u"06-1234-5678"}, {33, u"06-1234-5679"},
  };
  for (const auto& [column, text] : filled) values[column] = text;
  return values;
}

void BM_RecordWrite(benchmark::State& state) {
  const auto values = TypicalRecord();
  if (csv::CsvOpen(u"/dev/null") != 0) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  for (auto _ : state) {
    csv::CsvClearLine();
    for (const std::u16string& value : values) csv::CsvAddField(value);
    if (csv::CsvWriteLine() != 0) {
      state.SkipWithError("write failed");
      break;
    }
  }
  csv::CsvClose();
  state.SetItemsProcessed(state.iterations());
}

// The 55 property names looked up as the record reads them, in column order
// (each property read of a stand-alone item starts with this lookup).
void BM_FindContactProperty55(benchmark::State& state) {
  for (auto _ : state) {
    for (const om::ContactProperty& property : om::kContactProperties) {
      benchmark::DoNotOptimize(om::FindContactProperty(property.name));
    }
  }
  state.SetItemsProcessed(state.iterations() * om::kContactPropertyCount);
}

}  // namespace

BENCHMARK(BM_RecordWrite);
BENCHMARK(BM_FindContactProperty55);
