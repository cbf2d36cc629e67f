#include "runner/usage.h"

#include <windows.h>

#include <cstdio>

#include "package/package_format.h"
#include "runner/path_text.h"

namespace {

constexpr char USAGE[] =
    "使い方: %s [/S] [/UNPACK[=フォルダー]] [/LOG=ファイル] [-- 引数...]\n"
    "\n"
    "/S\t確認も進行状況も表示せずにインストールします。\n"
    "\t結果は終了コードで返します。\n"
    "/UNPACK\tインストールせずに解凍だけを行います。\n"
    "/UNPACK=フォルダー\n"
    "\t指定したフォルダーを作成して、そこに解凍します。\n"
    "/LOG=ファイル\n"
    "\t実行の記録をファイルに追記します。\n"
    "--\tこれより後ろをそのまま Setup.exe の引数として渡します。\n"
    "/?\tこの説明を表示します。\n"
    "\n"
    "/S の終了コード: Setup.exe を実行したときは Setup.exe の終了コード、\n"
    "それ以外は 0 完了、2 解凍先を作成できない、\n"
    "3 パッケージがないか壊れている、4 Setup.exe を起動できない。";

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
