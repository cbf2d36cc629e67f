#include "runner/usage.h"

#include <windows.h>

#include <string>

#include "runner/path_text.h"
#include "runner/system_folders.h"
#include "win/wide_text.h"

namespace {

// Short lines: a message box wraps long ones wherever it likes.
constexpr char USAGE[] =
    "使い方: %s [スイッチ] [-- 引数]\n"
    "\n"
    "/S\t画面を出さずにインストールします。\n"
    "\t結果は終了コードで返します。\n"
    "/UNPACK\n"
    "\t解凍だけを行います。\n"
    "/UNPACK=フォルダー\n"
    "\tそのフォルダーを作って解凍します。\n"
    "/LOG=ファイル\n"
    "\t実行の記録をファイルに追記します。\n"
    "--\t後ろの引数を Setup.exe に渡します。\n"
    "/?\tこの説明を表示します。\n"
    "\n"
    "/S の終了コード:\n"
    "\t実行した Setup.exe の終了コード\n"
    "\t0 完了\n"
    "\t2 解凍先を作成できない\n"
    "\t3 パッケージがない、または壊れている\n"
    "\t4 Setup.exe を起動できない\n"
    "\t5 スイッチの値がない";

}  // namespace

// The program's name is UTF-8 and the text Shift-JIS: each is converted from its own encoding.
void ShowUsage(const ProductInfo& product) {
    std::string path;
    OwnProgramPath(path);
    const std::wstring text =
        WideFromShiftJisWith(USAGE, path.c_str() + FileNameStart(path.c_str()));
    MessageBoxW(nullptr, text.c_str(), WideFromShiftJis(product.Caption()).c_str(), MB_OK);
}
