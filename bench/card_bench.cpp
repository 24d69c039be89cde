// One card decoded and mapped onto the 55 contact properties (vcard::ReadCard),
// in the dialects the generated profiles use, with and without a photo (3.0
// folded, 2.1 indented); and finding the cards of a file (vcard::FindCards),
// which indexing a folder does.
#include <benchmark/benchmark.h>

#include <string>

#include "vcard/vcard_reader.h"

namespace {

const std::string kApple30 =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:佐藤;花子;;;\r\nFN:佐藤 花子\r\n"
    "X-PHONETIC-LAST-NAME:さとう\r\nX-PHONETIC-FIRST-NAME:はなこ\r\n"
    "ORG:株式会社山田製作所;営業部\r\nX-PHONETIC-ORG:ヤマダセイサクショ\r\nTITLE:課長\r\n"
    "EMAIL;TYPE=INTERNET;TYPE=WORK:sato.1@example.co.jp\r\n"
    "TEL;TYPE=CELL:090-1234-5678\r\nTEL;TYPE=HOME:03-1234-5678\r\n"
    "TEL;TYPE=WORK:06-1234-5678\r\nTEL;TYPE=WORK;TYPE=FAX:06-1234-5679\r\n"
    "ADR;TYPE=HOME:;グランドタワー12階;丸の内1-1-1;千代田区;東京都;100-0001;日\r\n 本\r\n"
    "ADR;TYPE=WORK:;本社;梅田3-1-3;大阪市北区;大阪府;530-0001;日本\r\n"
    "item1.URL:https\\://www.example.co.jp/\r\nitem1.X-ABLabel:_$!<HomePage>!$_\r\n"
    "BDAY:1980-04-01\r\n"
    "NOTE:2019年の展示会で名刺交換。\\n請求書は月末締め、翌月払い。\\n「至急」の件\r\n"
    " は携帯へ\r\n"
    "END:VCARD\r\n";

const std::string kSortAs40 =
    "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:individual\r\n"
    "N;SORT-AS=\"たなか,けんいち\":田中;健一;;;\r\nFN:田中 健一\r\n"
    "ORG;SORT-AS=\"トウキョウシステムカイハツ\":東京システム開発株式会社;開発本部 第二開発部\r\n"
    "TITLE:主任\r\nEMAIL;TYPE=work:tanaka.2@example.jp\r\n"
    "TEL;VALUE=uri;TYPE=cell:tel:090-2222-3333\r\nTEL;TYPE=home,voice:03-2222-3333\r\n"
    "ADR;TYPE=work:;本社;みなとみらい2-2-1;横浜市西区;神奈川県;220-0011;日本\r\n"
    "BDAY:19750812\r\nANNIVERSARY:20050401\r\nNOTE:年賀状：毎年送付\\n駐車場あり、受付は2階。\r\n"
    "END:VCARD\r\n";

const std::string kPhone21 =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8:鈴木;誠;;;\r\nFN;CHARSET=UTF-8:鈴木 誠\r\n"
    "SOUND;X-IRMC-N;CHARSET=UTF-8:すずき;まこと;;;\r\nORG;CHARSET=UTF-8:合同会社みなと商事;総務部\r\n"
    "TEL;CELL;VOICE:090-3333-4444\r\nTEL;HOME;VOICE:03-3333-4444\r\nTEL;WORK;FAX:06-3333-4444\r\n"
    "ADR;HOME;CHARSET=UTF-8:;;博多駅前2-1-1;福岡市博多区;福岡県;812-0011;日本\r\n"
    "X-MS-MANAGER;CHARSET=UTF-8:鈴木部長\r\nBDAY:19800401\r\n"
    "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E5=B9=B4=E8=B3=80=E7=8A=B6=0D=0A=\r\n"
    "=E4=BC=9A=E8=AD=B0\r\n"
    "END:VCARD\r\n";

// The 3.0 card with a 20 KB base64 photo folded at 75 columns, as one card in
// ten of the generated profiles has.
std::string WithPhoto(const std::string& card) {
  std::string photo = "PHOTO;ENCODING=b;TYPE=JPEG:";
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::size_t column = photo.size();
  for (std::size_t i = 0; i < 20 * 1024; ++i) {
    if (column == 75) {
      photo += "\r\n ";
      column = 1;
    }
    photo += alphabet[(i * 7 + i / 13) % alphabet.size()];
    ++column;
  }
  photo += "\r\n";
  std::string result = card;
  result.insert(result.rfind("END:VCARD"), photo);
  return result;
}

// The 2.1 card with the same photo as a phone writes it: BASE64, lines
// indented by two spaces, a blank line after.
std::string WithPhoto21(const std::string& card) {
  std::string photo = "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n";
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < 20 * 1024; ++i) {
    if (i % 72 == 0) photo += i == 0 ? "  " : "\r\n  ";
    photo += alphabet[(i * 7 + i / 13) % alphabet.size()];
  }
  photo += "\r\n\r\n";
  std::string result = card;
  result.insert(result.rfind("END:VCARD"), photo);
  return result;
}

void ReadOne(benchmark::State& state, const std::string& card) {
  const vcard::CardExtent extent{0, card.size()};
  for (auto _ : state) {
    std::optional<vcard::Card> read = vcard::ReadCard(card, extent);
    if (!read) {
      state.SkipWithError("card not read");
      break;
    }
    benchmark::DoNotOptimize(read->values.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * card.size()));
  state.SetItemsProcessed(state.iterations());
}

void BM_ReadCardApple30(benchmark::State& state) { ReadOne(state, kApple30); }
void BM_ReadCardSortAs40(benchmark::State& state) { ReadOne(state, kSortAs40); }
void BM_ReadCardPhone21(benchmark::State& state) { ReadOne(state, kPhone21); }
void BM_ReadCardWithPhoto(benchmark::State& state) { ReadOne(state, WithPhoto(kApple30)); }
void BM_ReadCardPhone21WithPhoto(benchmark::State& state) { ReadOne(state, WithPhoto21(kPhone21)); }

// Finding 1,000 cards of a file (one in ten with a photo).
void BM_FindCards1000(benchmark::State& state) {
  std::string file;
  const std::string photoCard = WithPhoto(kApple30);
  for (int i = 0; i < 1000; ++i) file += i % 10 == 0 ? photoCard : i % 3 ? kApple30 : kSortAs40;
  for (auto _ : state) {
    const std::vector<vcard::CardExtent> cards = vcard::FindCards(file);
    if (cards.size() != 1000) {
      state.SkipWithError("wrong number of cards");
      break;
    }
    benchmark::DoNotOptimize(cards.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
  state.SetItemsProcessed(state.iterations() * 1000);
}

}  // namespace

BENCHMARK(BM_ReadCardApple30);
BENCHMARK(BM_ReadCardSortAs40);
BENCHMARK(BM_ReadCardPhone21);
BENCHMARK(BM_ReadCardWithPhoto);
BENCHMARK(BM_ReadCardPhone21WithPhoto);
BENCHMARK(BM_FindCards1000);
