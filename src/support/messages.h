// The catalogue of every text the program writes to standard error. Each
// entry holds the text as it reads (UTF-8, for people and for terminals that
// want UTF-8) and the same text in Shift-JIS, the bytes normally written.
// messages_posix_test.cc checks that the two agree (with iconv, so on POSIX
// only) and that it checks every entry. Nothing reaches standard error but
// through Report and ReportFormat with an entry of this file.
//
// How failures travel. A function that meets a failure either reports it
// itself, through this catalogue, and returns only that it failed (false, or
// an empty result), so that its callers pass that on without a word of their
// own; or it reports nothing and returns what went wrong (an enum, or errno
// with platform::LastErrorText()) for its caller to report. Never both. The
// platform layer, the byte streams, the copy loop and the free-space and
// directory probes are of the second kind; the operations (cli, filters,
// merge, split) of the first. Running out of memory (std::bad_alloc) is
// caught in three places, each where the failure has a meaning of its own:
// RunVu32 (cli/app.cc) for the whole run, which it ends with status 1 in
// the words of the operation that was running; InPlaceRun::Convert
// (cli/in_place.cc) for one file, which is then left as it was while the
// other files are still converted; and the matcher (pattern/match.cc) for one
// line, whose match is then undecided (MatchOutcome::kGaveUp), never taken for
// no match.
#ifndef VU32_SUPPORT_MESSAGES_H_
#define VU32_SUPPORT_MESSAGES_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace vu32 {

enum class MessageKind {
  kError,     // always written
  kProgress,  // the banner and progress lines, which --quiet leaves out
};
inline constexpr MessageKind kProgress = MessageKind::kProgress;

struct Message {
  std::string_view text;  // readable UTF-8
  std::string_view sjis;  // the Shift-JIS bytes of `text`
  MessageKind kind = MessageKind::kError;
};

// One entry a pair of lines, readable text over its bytes: kept as written.
// clang-format off
inline constexpr Message kBannerFormat{"Kelzar %s %s\n",
                                 "Kelzar %s %s\n", kProgress};
inline constexpr Message kVersion{"Ver2.13 [WIN32 版]",
                                 "Ver2.13 [WIN32 \x94\xC5]"};
inline constexpr Message kBadSwitch{"<error> スイッチが不正です!:",
                                 "<error> \x83X\x83" "C\x83" "b\x83`\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7!:"};
inline constexpr Message kUsageHint{"\t-? で Usage 表示",
                                 "\t-? \x82\xC5 Usage \x95\\\x8E\xA6"};
inline constexpr Message kSameName{"入力ファイルと出力ファイルが同名ファイルです!",
                                 "\x93\xFC\x97\xCD\x83t\x83@\x83" "C\x83\x8B\x82\xC6\x8Fo\x97\xCD\x83t\x83@\x83" "C\x83\x8B\x82\xAA\x93\xAF\x96\xBC\x83t\x83@\x83" "C\x83\x8B\x82\xC5\x82\xB7!"};
inline constexpr Message kNoStreams{"入出力ファイルの指定をして下さい!",
                                 "\x93\xFC\x8Fo\x97\xCD\x83t\x83@\x83" "C\x83\x8B\x82\xCC\x8Ew\x92\xE8\x82\xF0\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2!"};
inline constexpr Message kWriteFailed{"書き込みに失敗しました: ",
                                 "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD: "};
inline constexpr Message kReadFailed{"読み込みに失敗しました: ",
                                 "\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD: "};
inline constexpr Message kNoWorkBuffer{"global buf memory allocate error!",
                                 "global buf memory allocate error!"};
inline constexpr Message kDriveNotReady{"Drive Not Ready!",
                                 "Drive Not Ready!"};
inline constexpr Message kUniqNoMemory{"Memory Allocate Error!: in function Uniq()",
                                 "Memory Allocate Error!: in function Uniq()"};
inline constexpr Message kTotalMergeSize{"Total Marge Size = %s byte\n",
                                 "Total Marge Size = %s byte\n", kProgress};
inline constexpr Message kMergeNoSpace{"結合先ドライブの空き容量が不足しています",
                                 "\x8C\x8B\x8D\x87\x90\xE6\x83h\x83\x89\x83" "C\x83u\x82\xCC\x8B\xF3\x82\xAB\x97" "e\x97\xCA\x82\xAA\x95s\x91\xAB\x82\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB7"};
inline constexpr Message kTooFewParameters{"パラメーターが足りません",
                                 "\x83p\x83\x89\x83\x81\x81[\x83^\x81[\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1"};
inline constexpr Message kMergingTo{"Merging to '%s'\n",
                                 "Merging to '%s'\n", kProgress};
inline constexpr Message kAllocatedBuffer{"allocated buf size =%u . ok\n",
                                 "allocated buf size =%u . ok\n", kProgress};
inline constexpr Message kCannotOpen{"ファイルがオープンできません: ",
                                 "\x83t\x83@\x83" "C\x83\x8B\x82\xAA\x83I\x81[\x83v\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1: "};
inline constexpr Message kListFailed{"LIST の作成に失敗しました",
                                 "LIST \x82\xCC\x8D\xEC\x90\xAC\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD"};
inline constexpr Message kTwoWildcards{"ワイルドカードが複数指定されています: ",
                                 "\x83\x8F\x83" "C\x83\x8B\x83h\x83J\x81[\x83h\x82\xAA\x95\xA1\x90\x94\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7: "};
inline constexpr Message kNoOutputName{"出力ファイルを指定して下さい",
                                 "\x8Fo\x97\xCD\x83t\x83@\x83" "C\x83\x8B\x82\xF0\x8Ew\x92\xE8\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2"};
inline constexpr Message kSourceCopied{" %sbytes ok\n",
                                 " %sbytes ok\n", kProgress};
// A source's name in front of its progress line (left out on a terminal).
inline constexpr Message kSourceName{"%s", "%s", kProgress};
// Each split piece as it is created.
inline constexpr Message kPieceCreated{"%s\n", "%s\n", kProgress};
// A name and the system's reason for a failure with it.
inline constexpr Message kNameAndReason{"%s: %s\n", "%s: %s\n"};
// Ends a line begun by kSourceName when the copy fails.
inline constexpr Message kLineEnd{"\n", "\n", kProgress};
inline constexpr Message kSizeAndPattern{"サイズ指定とパターン指定は併用できません",
                                 "\x83T\x83" "C\x83Y\x8Ew\x92\xE8\x82\xC6\x83p\x83^\x81[\x83\x93\x8Ew\x92\xE8\x82\xCD\x95\xB9\x97p\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1"};
inline constexpr Message kNoMemory{"Memory Allocate Error",
                                 "Memory Allocate Error"};
inline constexpr Message kStrangeFile{"ファイルが変です (^^; : ",
                                 "\x83t\x83@\x83" "C\x83\x8B\x82\xAA\x95\xCF\x82\xC5\x82\xB7 (^^; : "};
inline constexpr Message kPiecesTooSmall{"分割サイズが小さすぎます: ",
                                 "\x95\xAA\x8A\x84\x83T\x83" "C\x83Y\x82\xAA\x8F\xAC\x82\xB3\x82\xB7\x82\xAC\x82\xDC\x82\xB7: "};
inline constexpr Message kSplitNoSpace{"分割先ドライブの空き容量が不足しています",
                                 "\x95\xAA\x8A\x84\x90\xE6\x83h\x83\x89\x83" "C\x83u\x82\xCC\x8B\xF3\x82\xAB\x97" "e\x97\xCA\x82\xAA\x95s\x91\xAB\x82\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB7"};
inline constexpr Message kNoDirectory{"ディレクトリが見つかりません: ",
                                 "\x83" "f\x83" "B\x83\x8C\x83N\x83g\x83\x8A\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1: "};
inline constexpr Message kSplitting{"Splitting '%s'(%s byte)\n",
                                 "Splitting '%s'(%s byte)\n", kProgress};
inline constexpr Message kCannotCreate{"ファイルが作成できません",
                                 "\x83t\x83@\x83" "C\x83\x8B\x82\xAA\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1"};
inline constexpr Message kExtraArgument{"余分な引数があります: ",
                                 "\x97]\x95\xAA\x82\xC8\x88\xF8\x90\x94\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7: "};
// --version: the program and its version, then the copyright line.
inline constexpr Message kVersionText{"vu32 %s\n%s\n",
                                 "vu32 %s\n%s\n"};
inline constexpr Message kInPlaceWithoutFilter{"--in-place はフィルターのスイッチ (-Cx, -J, -K, -Tn, -L, -P, -D, -U, -U+) と共に指定して下さい",
                                 "--in-place \x82\xCD\x83t\x83" "B\x83\x8B\x83^\x81[\x82\xCC\x83X\x83" "C\x83" "b\x83` (-Cx, -J, -K, -Tn, -L, -P, -D, -U, -U+) \x82\xC6\x8B\xA4\x82\xC9\x8Ew\x92\xE8\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2"};
inline constexpr Message kKeepTimeWithoutInPlace{"--keep-time は --in-place と共に指定して下さい",
                                 "--keep-time \x82\xCD --in-place \x82\xC6\x8B\xA4\x82\xC9\x8Ew\x92\xE8\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2"};
// In-place conversion, one line per file.
inline constexpr Message kInPlaceConverted{"%s: 変換しました\n",
                                 "%s: \x95\xCF\x8A\xB7\x82\xB5\x82\xDC\x82\xB5\x82\xBD\n", kProgress};
inline constexpr Message kInPlaceUnchanged{"%s: 変更はありません\n",
                                 "%s: \x95\xCF\x8DX\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\n", kProgress};
// Reasons an in-place file is left alone.
inline constexpr Message kNotARegularFile{"通常のファイルではありません",
                                 "\x92\xCA\x8F\xED\x82\xCC\x83t\x83@\x83" "C\x83\x8B\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1"};
inline constexpr Message kSeveralLinks{"ハードリンクが複数あります",
                                 "\x83n\x81[\x83h\x83\x8A\x83\x93\x83N\x82\xAA\x95\xA1\x90\x94\x82\xA0\x82\xE8\x82\xDC\x82\xB7"};
inline constexpr Message kCannotMakeTemp{"一時ファイルが作成できません: ",
                                 "\x88\xEA\x8E\x9E\x83t\x83@\x83" "C\x83\x8B\x82\xAA\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1: "};
// --help: the lines after the usage text.
inline constexpr Message kLongOptionsHelp{
    "\t--help       使い方と長いオプションを標準出力に表示\n"
    "\t--version    版数を標準出力に表示\n"
    "\t--quiet      バナーと経過の表示を省く(エラーは表示)\n"
    "\t--in-place   フィルターで各ファイルをその場で変換\n"
    "\t--keep-time  --in-place で変換したファイルの日時を保つ\n"
    "\t--           これより後の引数はオプションとしない\n",
    "\t--help       \x8Eg\x82\xA2\x95\xFB\x82\xC6\x92\xB7\x82\xA2\x83I\x83v\x83V\x83\x87\x83\x93\x82\xF0\x95W\x8F\x80\x8Fo\x97\xCD\x82\xC9\x95\\\x8E\xA6\n"
    "\t--version    \x94\xC5\x90\x94\x82\xF0\x95W\x8F\x80\x8Fo\x97\xCD\x82\xC9\x95\\\x8E\xA6\n"
    "\t--quiet      \x83o\x83i\x81[\x82\xC6\x8Co\x89\xDF\x82\xCC\x95\\\x8E\xA6\x82\xF0\x8F\xC8\x82\xAD(\x83G\x83\x89\x81[\x82\xCD\x95\\\x8E\xA6)\n"
    "\t--in-place   \x83t\x83" "B\x83\x8B\x83^\x81[\x82\xC5\x8A" "e\x83t\x83@\x83" "C\x83\x8B\x82\xF0\x82\xBB\x82\xCC\x8F\xEA\x82\xC5\x95\xCF\x8A\xB7\n"
    "\t--keep-time  --in-place \x82\xC5\x95\xCF\x8A\xB7\x82\xB5\x82\xBD\x83t\x83@\x83" "C\x83\x8B\x82\xCC\x93\xFA\x8E\x9E\x82\xF0\x95\xDB\x82\xC2\n"
    "\t--           \x82\xB1\x82\xEA\x82\xE6\x82\xE8\x8C\xE3\x82\xCC\x88\xF8\x90\x94\x82\xCD\x83I\x83v\x83V\x83\x87\x83\x93\x82\xC6\x82\xB5\x82\xC8\x82\xA2\n"};
// Followed by the input's name, ':' and the number of the line whose match
// could not be decided.
inline constexpr Message kPatternGaveUp{"パターン照合を打ち切りました: ",
                                 "\x83p\x83^\x81[\x83\x93\x8F\xC6\x8D\x87\x82\xF0\x91\xC5\x82\xBF\x90\xD8\x82\xE8\x82\xDC\x82\xB5\x82\xBD: "};
// --check: after each input's findings, the counts per class (progress)
// and the verdict (always written, --quiet or not). ASCII in every locale,
// as the class tokens are.
inline constexpr Message kCheckSummary{"%s: %s\n", "%s: %s\n", kProgress};
inline constexpr Message kCheckVerdict{"%s: %s\n", "%s: %s\n"};
// The guard: an operation that interprets characters refuses an input that
// looks like another encoding; followed by the input's name.
inline constexpr Message kLooksLikeUtf8{"UTF-8 のようです。Shift-JIS として処理するには --force を指定して下さい: ",
                                 "UTF-8 \x82\xCC\x82\xE6\x82\xA4\x82\xC5\x82\xB7\x81" "BShift-JIS \x82\xC6\x82\xB5\x82\xC4\x8F\x88\x97\x9D\x82\xB7\x82\xE9\x82\xC9\x82\xCD --force \x82\xF0\x8Ew\x92\xE8\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2: "};
inline constexpr Message kLooksLikeUtf16{"UTF-16 のようです。Shift-JIS として処理するには --force を指定して下さい: ",
                                 "UTF-16 \x82\xCC\x82\xE6\x82\xA4\x82\xC5\x82\xB7\x81" "BShift-JIS \x82\xC6\x82\xB5\x82\xC4\x8F\x88\x97\x9D\x82\xB7\x82\xE9\x82\xC9\x82\xCD --force \x82\xF0\x8Ew\x92\xE8\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2: "};
// --help: the usage lines (each %s is the program name) and the options of
// --check and --info, and --force.
inline constexpr Message kCheckUsage{
    "        %s --check [--json] [--max-errors N] [FILE ...]\n"
    "        %s --info [--json] [FILE ...]\n",
    "        %s --check [--json] [--max-errors N] [FILE ...]\n"
    "        %s --info [--json] [FILE ...]\n"};
inline constexpr Message kCheckOptionsHelp{
    "\t--check      Shift-JIS (CP932) かどうか調べ、異常なバイトをすべて表示\n"
    "\t--info       改行コード・文字の種類・判定をファイルごとに表で表示\n"
    "\t--json       --check, --info の結果を JSON で書く\n"
    "\t--max-errors N  --check でファイルごとに表示する異常を N 件までにする\n"
    "\t--force      UTF-8 や UTF-16 らしい入力でも処理する\n",
    "\t--check      Shift-JIS (CP932) \x82\xA9\x82\xC7\x82\xA4\x82\xA9\x92\xB2\x82\xD7\x81" "A\x88\xD9\x8F\xED\x82\xC8\x83o\x83" "C\x83g\x82\xF0\x82\xB7\x82\xD7\x82\xC4\x95\\\x8E\xA6\n"
    "\t--info       \x89\xFC\x8Ds\x83R\x81[\x83h\x81" "E\x95\xB6\x8E\x9A\x82\xCC\x8E\xED\x97\xDE\x81" "E\x94\xBB\x92\xE8\x82\xF0\x83t\x83@\x83" "C\x83\x8B\x82\xB2\x82\xC6\x82\xC9\x95\\\x82\xC5\x95\\\x8E\xA6\n"
    "\t--json       --check, --info \x82\xCC\x8C\x8B\x89\xCA\x82\xF0 JSON \x82\xC5\x8F\x91\x82\xAD\n"
    "\t--max-errors N  --check \x82\xC5\x83t\x83@\x83" "C\x83\x8B\x82\xB2\x82\xC6\x82\xC9\x95\\\x8E\xA6\x82\xB7\x82\xE9\x88\xD9\x8F\xED\x82\xF0 N \x8C\x8F\x82\xDC\x82\xC5\x82\xC9\x82\xB7\x82\xE9\n"
    "\t--force      UTF-8 \x82\xE2 UTF-16 \x82\xE7\x82\xB5\x82\xA2\x93\xFC\x97\xCD\x82\xC5\x82\xE0\x8F\x88\x97\x9D\x82\xB7\x82\xE9\n"};
// The usage text; each %s is the program name.
inline constexpr Message kUsageFormat{
    "[Usage] %s -[Cx|J|K|Tn|U[+]|L|P|D] [FILE] [NEW_FILE]\n"
    "        %s -M FILE FILE [...] [-o[+] NEW_FILE]\n"
    "        %s -Sn1[.n2][L] [-#PATTERN] FILE [OUTDIR]\n"
    "\t-Cx:   改行コード変換(Crconv). x = d or u or m\n"
    "\t       Cd: MSDOS形式[0D0A], Cu: UNIX形式[0A], Cm: MAC形式[0D]\n"
    "\t-J:    MS-DOS 改行コード[0D0Ah]の削除(Join)\n"
    "\t-K:    半角カナを全角カナに変換(Kana)\n"
    "\t-M:    ファイルの結合(Merge)\n"
    "\t-Sn1[.n2][L]:  ファイルの分割(Split)\n"
    "\t       n1 = 分割サイズ( KB単位 ) or n1 = 分割行数( L 指定時 )\n"
    "\t       n2 = 分割番号を振る拡張子の桁数 2 <= n2 <= 5(WIN32 only)\n"
    "\t-#PATTERN  -#に続けて分割パターンを記述\n"
    "\t--#PATTERN 同上。ただし分割パターンマッチ行は出力しない\n"
    "\t-Tn:   TABコードを nバイト分のスペースに変換(Tab2space)\n"
    "\t     0 <= n <= 8. -T0 で TABコード削除\n"
    "\t-U:    連続した重複行を単一化(Uniq). -U+ で英大文字小文字同一視\n"
    "\t-L:    英大文字を小文字に変換(Lower)\n"
    "\t-P:    英小文字を大文字に変換(uPper)\n"
    "\t-D:    TABコードを除くコントロールコードを削除(Deletecontrolchar)\n"
    "\t入出力ファイルには標準入出力が使えます(-M, -Sn[L] 除く)\n"
    "\tex. SORT < OLD.TXT | %s -U > NEW.TXT\n",
    "[Usage] %s -[Cx|J|K|Tn|U[+]|L|P|D] [FILE] [NEW_FILE]\n"
    "        %s -M FILE FILE [...] [-o[+] NEW_FILE]\n"
    "        %s -Sn1[.n2][L] [-#PATTERN] FILE [OUTDIR]\n"
    "\t-Cx:   \x89\xFC\x8Ds\x83R\x81[\x83h\x95\xCF\x8A\xB7(Crconv). x = d or u or m\n"
    "\t       Cd: MSDOS\x8C`\x8E\xAE[0D0A], Cu: UNIX\x8C`\x8E\xAE[0A], Cm: MAC\x8C`\x8E\xAE[0D]\n"
    "\t-J:    MS-DOS \x89\xFC\x8Ds\x83R\x81[\x83h[0D0Ah]\x82\xCC\x8D\xED\x8F\x9C(Join)\n"
    "\t-K:    \x94\xBC\x8Ap\x83J\x83i\x82\xF0\x91S\x8Ap\x83J\x83i\x82\xC9\x95\xCF\x8A\xB7(Kana)\n"
    "\t-M:    \x83t\x83@\x83" "C\x83\x8B\x82\xCC\x8C\x8B\x8D\x87(Merge)\n"
    "\t-Sn1[.n2][L]:  \x83t\x83@\x83" "C\x83\x8B\x82\xCC\x95\xAA\x8A\x84(Split)\n"
    "\t       n1 = \x95\xAA\x8A\x84\x83T\x83" "C\x83Y( KB\x92P\x88\xCA ) or n1 = \x95\xAA\x8A\x84\x8Ds\x90\x94( L \x8Ew\x92\xE8\x8E\x9E )\n"
    "\t       n2 = \x95\xAA\x8A\x84\x94\xD4\x8D\x86\x82\xF0\x90U\x82\xE9\x8Ag\x92\xA3\x8Eq\x82\xCC\x8C\x85\x90\x94 2 <= n2 <= 5(WIN32 only)\n"
    "\t-#PATTERN  -#\x82\xC9\x91\xB1\x82\xAF\x82\xC4\x95\xAA\x8A\x84\x83p\x83^\x81[\x83\x93\x82\xF0\x8BL\x8Fq\n"
    "\t--#PATTERN \x93\xAF\x8F\xE3\x81" "B\x82\xBD\x82\xBE\x82\xB5\x95\xAA\x8A\x84\x83p\x83^\x81[\x83\x93\x83}\x83" "b\x83`\x8Ds\x82\xCD\x8Fo\x97\xCD\x82\xB5\x82\xC8\x82\xA2\n"
    "\t-Tn:   TAB\x83R\x81[\x83h\x82\xF0 n\x83o\x83" "C\x83g\x95\xAA\x82\xCC\x83X\x83y\x81[\x83X\x82\xC9\x95\xCF\x8A\xB7(Tab2space)\n"
    "\t     0 <= n <= 8. -T0 \x82\xC5 TAB\x83R\x81[\x83h\x8D\xED\x8F\x9C\n"
    "\t-U:    \x98" "A\x91\xB1\x82\xB5\x82\xBD\x8F" "d\x95\xA1\x8Ds\x82\xF0\x92P\x88\xEA\x89\xBB(Uniq). -U+ \x82\xC5\x89p\x91\xE5\x95\xB6\x8E\x9A\x8F\xAC\x95\xB6\x8E\x9A\x93\xAF\x88\xEA\x8E\x8B\n"
    "\t-L:    \x89p\x91\xE5\x95\xB6\x8E\x9A\x82\xF0\x8F\xAC\x95\xB6\x8E\x9A\x82\xC9\x95\xCF\x8A\xB7(Lower)\n"
    "\t-P:    \x89p\x8F\xAC\x95\xB6\x8E\x9A\x82\xF0\x91\xE5\x95\xB6\x8E\x9A\x82\xC9\x95\xCF\x8A\xB7(uPper)\n"
    "\t-D:    TAB\x83R\x81[\x83h\x82\xF0\x8F\x9C\x82\xAD\x83R\x83\x93\x83g\x83\x8D\x81[\x83\x8B\x83R\x81[\x83h\x82\xF0\x8D\xED\x8F\x9C(Deletecontrolchar)\n"
    "\t\x93\xFC\x8Fo\x97\xCD\x83t\x83@\x83" "C\x83\x8B\x82\xC9\x82\xCD\x95W\x8F\x80\x93\xFC\x8Fo\x97\xCD\x82\xAA\x8Eg\x82\xA6\x82\xDC\x82\xB7(-M, -Sn[L] \x8F\x9C\x82\xAD)\n"
    "\tex. SORT < OLD.TXT | %s -U > NEW.TXT\n"};

// One name, with standard input redirected, that would empty a file holding
// data; the hint gives the two spellings that never depend on standard
// input (each %s is "vu32" and the switch).
inline constexpr Message kOutputExists{"出力ファイルが既に存在します: ",
                                 "\x8Fo\x97\xCD\x83t\x83@\x83" "C\x83\x8B\x82\xAA\x8A\xF9\x82\xC9\x91\xB6\x8D\xDD\x82\xB5\x82\xDC\x82\xB7: "};
inline constexpr Message kOutputExistsHint{"\t入出力ファイルは %s IN OUT または %s < IN > OUT と指定して下さい\n",
                                 "\t\x93\xFC\x8Fo\x97\xCD\x83t\x83@\x83" "C\x83\x8B\x82\xCD %s IN OUT \x82\xDC\x82\xBD\x82\xCD %s < IN > OUT \x82\xC6\x8Ew\x92\xE8\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2\n"};
// Split: a pattern given anywhere but right after the switch.
inline constexpr Message kPatternAfterSwitch{"\tパターン(-#PATTERN, --#PATTERN)はスイッチの直後に指定して下さい",
                                 "\t\x83p\x83^\x81[\x83\x93(-#PATTERN, --#PATTERN)\x82\xCD\x83X\x83" "C\x83" "b\x83`\x82\xCC\x92\xBC\x8C\xE3\x82\xC9\x8Ew\x92\xE8\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2"};
// Split: an OUTDIR that is a directory but takes no new file, and why.
inline constexpr Message kDirectoryNotWritable{"ディレクトリに書き込めません: %s: %s\n",
                                 "\x83" "f\x83" "B\x83\x8C\x83N\x83g\x83\x8A\x82\xC9\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1: %s: %s\n"};
// Split: pieces of an earlier run numbered after this run's last one,
// the first and the last of them.
inline constexpr Message kStalePieces{"以前の分割ファイルが残っています: ",
                                 "\x88\xC8\x91O\x82\xCC\x95\xAA\x8A\x84\x83t\x83@\x83" "C\x83\x8B\x82\xAA\x8E" "c\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7: "};
// In place: the file changed (or its name moved) while it was converted.
inline constexpr Message kFileChanged{"変換中にファイルが変更されました: ",
                                 "\x95\xCF\x8A\xB7\x92\x86\x82\xC9\x83t\x83@\x83" "C\x83\x8B\x82\xAA\x95\xCF\x8DX\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD: "};
// In place, reasons a converted file did not take the original's place.
inline constexpr Message kCannotReplace{"変換したファイルを元のファイルと置き換えられません: ",
                                 "\x95\xCF\x8A\xB7\x82\xB5\x82\xBD\x83t\x83@\x83" "C\x83\x8B\x82\xF0\x8C\xB3\x82\xCC\x83t\x83@\x83" "C\x83\x8B\x82\xC6\x92u\x82\xAB\x8A\xB7\x82\xA6\x82\xE7\x82\xEA\x82\xDC\x82\xB9\x82\xF1: "};
inline constexpr Message kInPlaceStdin{"標準入力はその場で変換できません",
                                 "\x95W\x8F\x80\x93\xFC\x97\xCD\x82\xCD\x82\xBB\x82\xCC\x8F\xEA\x82\xC5\x95\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1"};
inline constexpr Message kCannotKeepOwner{"所有者を保てません: ",
                                 "\x8F\x8A\x97L\x8E\xD2\x82\xF0\x95\xDB\x82\xC4\x82\xDC\x82\xB9\x82\xF1: "};
inline constexpr Message kCannotKeepGroup{"グループを保てません: ",
                                 "\x83O\x83\x8B\x81[\x83v\x82\xF0\x95\xDB\x82\xC4\x82\xDC\x82\xB9\x82\xF1: "};
inline constexpr Message kCannotKeepMode{"アクセス権を保てません: ",
                                 "\x83" "A\x83N\x83Z\x83X\x8C\xA0\x82\xF0\x95\xDB\x82\xC4\x82\xDC\x82\xB9\x82\xF1: "};
inline constexpr Message kCannotKeepAttribute{"拡張属性を保てません: ",
                                 "\x8Ag\x92\xA3\x91\xAE\x90\xAB\x82\xF0\x95\xDB\x82\xC4\x82\xDC\x82\xB9\x82\xF1: "};
// Win32: an argument with a character outside the ANSI code page, which
// reached the program with "?" or a look-alike in its place.
inline constexpr Message kNotRepresentable{"ファイル名をこのコードページで表せません: ",
                                 "\x83t\x83@\x83" "C\x83\x8B\x96\xBC\x82\xF0\x82\xB1\x82\xCC\x83R\x81[\x83h\x83y\x81[\x83W\x82\xC5\x95\\\x82\xB9\x82\xDC\x82\xB9\x82\xF1: "};

// clang-format on

// The banner's second field.
inline constexpr std::string_view kCopyright =
    "Copyright (C) 2026 the VU32 developers";
// The program name shown in the usage text.
inline constexpr std::string_view kProgramName = "VU32";
// The version --version shows.
inline constexpr std::string_view kVersionNumber = "2.13";

// Chooses UTF-8 texts instead of Shift-JIS for the rest of the run.
void SetMessagesUtf8(bool utf8);
// The bytes to write for `message` under the current choice.
std::string_view MessageBytes(const Message& message);

// Leaves out the banner and progress lines for the rest of the run.
void SetQuiet(bool quiet);
// Whether `message` is to be written under the current choice.
bool Shown(const Message& message);

// Writes `message` followed directly by `argument` and a line feed: the
// "%s%s\n" form of every error line. `argument` is written as given (names
// are bytes, never converted).
void Report(const Message& message, std::string_view argument = {});
// Writes `message` as it stands, without a line end of its own.
void ReportText(const Message& message);
// Writes bytes to the message stream (the helpers above, and tests).
void WriteMessage(std::string_view bytes);
// Writes bytes to standard output (--help and --version); false when the
// write failed.
bool WriteStandardOutput(std::string_view bytes);

// A printf-style catalogue entry, whose arguments are C strings and
// unsigned numbers, filled in.
template <typename... Args>
std::string FormatMessage(const Message& format, Args... args) {
  const std::string fmt(MessageBytes(format));
  const int n = std::snprintf(nullptr, 0, fmt.c_str(), args...);
  if (n <= 0) return std::string();
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), fmt.c_str(), args...);
  text.resize(static_cast<size_t>(n));
  return text;
}
// Formats a catalogue entry and writes it.
template <typename... Args>
void ReportFormat(const Message& format, Args... args) {
  if (Shown(format)) WriteMessage(FormatMessage(format, args...));
}

// Redirects the message stream into `capture` (tests); nullptr restores
// standard error.
void CaptureMessages(std::string* capture);

}  // namespace vu32

#endif  // VU32_SUPPORT_MESSAGES_H_
