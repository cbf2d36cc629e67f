#include "runner/usage.h"

#include <windows.h>

#include <cstdio>

#include "package/package_format.h"
#include "runner/path_text.h"

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

void ShowUsage(const ProductInfo& product) {
    char path[PATH_BUFFER_SIZE];
    const DWORD len = GetModuleFileNameA(nullptr, path, PATH_BUFFER_SIZE);
    if (len == 0 || len >= PATH_BUFFER_SIZE) {
        path[0] = '\0';
    }
    char text[1024];
    std::snprintf(text, sizeof text, USAGE, path + FileNameStart(path));
    MessageBoxA(nullptr, text, product.Caption(), MB_OK);
}
