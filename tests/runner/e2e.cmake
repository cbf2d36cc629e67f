# The whole program under Wine, driven by a test program that clicks through its windows. Uses
# the sample product, plus a product large enough that its extraction can be interrupted.

# Random bytes do not compress, and a thousand files take the engine a while to create, one by
# one, so that the extraction can be interrupted even on a fast machine.
set(big_files ${CMAKE_CURRENT_BINARY_DIR}/big-files)
set(big_package ${CMAKE_CURRENT_BINARY_DIR}/big.pack)
get_property(host_exe GLOBAL PROPERTY FILESPACK_HOST_EXE)
get_property(host_depends GLOBAL PROPERTY FILESPACK_HOST_DEPENDS)
add_custom_command(
    OUTPUT ${big_package}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${big_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${big_files}
    COMMAND dd if=/dev/urandom of=${big_files}/big.bin bs=1000000 count=4 status=none
    COMMAND sh -c "head -c 20000000 /dev/urandom | split -b 20000 -a 3 - ${big_files}/part-"
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:sample_setup> ${big_files}/Setup.exe
    COMMAND ${host_exe} create -q ${big_package} ${big_files}
    DEPENDS sample_setup ${host_depends} ${host_exe}
    COMMENT "Packing random test data"
    VERBATIM)

filespack_add_product(
    TARGET runner_big
    NAME "Quolta"
    DESCRIPTION "インターネット電話 Quolta"
    VERSION "Ver 1.71"
    CAPTION "SelfUnpack - Quolta"
    RESOURCE_NAME BIGPACK
    PACKAGE_FILE ${big_package}
    OUTPUT_NAME RunnerBig)

# The sample product's identity without its package.
filespack_add_product(
    TARGET runner_no_package
    NAME "Quolta"
    DESCRIPTION "インターネット電話 Quolta"
    VERSION "Ver 1.71"
    CAPTION "SelfUnpack - Quolta"
    RESOURCE_NAME QUOLTA
    NO_PACKAGE
    OUTPUT_NAME RunnerNoPackage)

# The sample's files without Setup.exe: an install that cannot start its installer.
filespack_add_product(
    TARGET runner_no_setup
    NAME "Quolta"
    DESCRIPTION "インターネット電話 Quolta"
    VERSION "Ver 1.71"
    CAPTION "SelfUnpack - Quolta"
    RESOURCE_NAME QUOLTA
    FILES_DIR ${PROJECT_SOURCE_DIR}/samples/quolta
    READ_ONLY_FILES 使用許諾.txt
    OUTPUT_NAME RunnerNoSetup)

# Names whose Shift-JIS form ends in the byte 0x5C, which other code pages read as a backslash.
set(backslash_files ${CMAKE_CURRENT_BINARY_DIR}/backslash-names)
foreach(name 表 ソ 能 十 予定表)
    file(WRITE ${backslash_files}/${name} "${name}\n")
endforeach()
filespack_add_product(
    TARGET runner_backslash_names
    NAME "Quolta"
    DESCRIPTION "インターネット電話 Quolta"
    VERSION "Ver 1.71"
    CAPTION "SelfUnpack - Quolta"
    RESOURCE_NAME QUOLTA
    FILES_DIR ${backslash_files}
    EXTRA_FILES $<TARGET_FILE:sample_setup> Setup.exe
    OUTPUT_NAME RunnerBackslashNames)

# The sample product made by hand with `filespack exe` from the files filespack_add_product
# staged for it: the same inputs by the other road.
set(stamped_exe ${CMAKE_CURRENT_BINARY_DIR}/by-hand/QuoltaSetup.exe)
add_custom_command(
    OUTPUT ${stamped_exe}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/by-hand
    COMMAND ${host_exe} exe ${stamped_exe} ${PROJECT_BINARY_DIR}/samples/quolta-product/files
            --stub $<TARGET_FILE:filespack_stub> --mtime 1280620800 -q
            --name Quolta "--description=インターネット電話 Quolta" "--product-version=Ver 1.71"
            "--caption=SelfUnpack - Quolta" --resource-name QUOLTA
            "--company=Quolta Project" "--copyright=(c) 2010 Quolta Project"
            --file-version 1.7.1.0 --icon ${PROJECT_SOURCE_DIR}/resources/app.ico
    DEPENDS quolta filespack_stub ${host_depends} ${host_exe}
    COMMENT "Stamping the sample product by hand"
    VERBATIM)
add_custom_target(runner_by_hand DEPENDS ${stamped_exe})

# The sample product signed by the build, with a certificate made for the test.
set(sign_dir ${CMAKE_CURRENT_BINARY_DIR}/signing)
add_custom_command(
    OUTPUT ${sign_dir}/cert.pem ${sign_dir}/key.pem
    COMMAND ${CMAKE_COMMAND} -E make_directory ${sign_dir}
    COMMAND openssl req -x509 -newkey rsa:2048 -nodes -keyout ${sign_dir}/key.pem
            -out ${sign_dir}/cert.pem -days 3650 -subj "/CN=filespack test signer"
            -addext extendedKeyUsage=codeSigning
    COMMENT "Making a throw-away code-signing certificate"
    VERBATIM)
filespack_add_product(
    TARGET runner_signed
    NAME "Quolta"
    DESCRIPTION "インターネット電話 Quolta"
    VERSION "Ver 1.71"
    CAPTION "SelfUnpack - Quolta"
    RESOURCE_NAME QUOLTA
    FILES_DIR ${PROJECT_SOURCE_DIR}/samples/quolta
    EXTRA_FILES $<TARGET_FILE:sample_setup> Setup.exe
    READ_ONLY_FILES 使用許諾.txt
    MTIME 1280620800
    SIGN_CERT ${sign_dir}/cert.pem
    SIGN_KEY ${sign_dir}/key.pem
    OUTPUT_NAME RunnerSigned)
add_test(NAME runner_signed_verifies
         COMMAND osslsigncode verify -CAfile ${sign_dir}/cert.pem
                 -in $<TARGET_PROPERTY:runner_signed,FILESPACK_PRODUCT_FILE>)
set_tests_properties(runner_signed_verifies PROPERTIES
    PASS_REGULAR_EXPRESSION "Signature verification: ok")

# A product whose files live in folders, one of them Japanese with names ending in 0x5C bytes,
# with a read-only file deep inside and a Setup.exe in a subfolder that must not be run.
filespack_add_product(
    TARGET runner_tree
    NAME "Quolta"
    DESCRIPTION "インターネット電話 Quolta"
    VERSION "Ver 1.71"
    CAPTION "SelfUnpack - Quolta"
    RESOURCE_NAME QUOLTA
    FILES_DIR ${CMAKE_CURRENT_SOURCE_DIR}/tree
    EXTRA_FILES $<TARGET_FILE:sample_setup> Setup.exe
                $<TARGET_FILE:sample_setup> lang/Setup.exe
    READ_ONLY_FILES data/images/logo.txt
    MTIME 1280620800
    OUTPUT_NAME RunnerTree)

# Planted next to a product copy under the names of the system DLLs the program uses.
add_library(runner_planted_dll SHARED planted_dll.cpp)
set_target_properties(runner_planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted)

filespack_add_gtest(runner_e2e_test SOURCES e2e_test.cpp e2e_driver.cpp)
target_compile_definitions(runner_e2e_test PRIVATE
    E2E_QUOLTA_EXE="Z:$<TARGET_PROPERTY:quolta,FILESPACK_PRODUCT_FILE>"
    E2E_BIG_EXE="Z:$<TARGET_PROPERTY:runner_big,FILESPACK_PRODUCT_FILE>"
    E2E_NO_PACKAGE_EXE="Z:$<TARGET_PROPERTY:runner_no_package,FILESPACK_PRODUCT_FILE>"
    E2E_BY_HAND_EXE="Z:${stamped_exe}"
    E2E_SIGNED_EXE="Z:$<TARGET_PROPERTY:runner_signed,FILESPACK_PRODUCT_FILE>"
    E2E_GENERIC_EXE="Z:$<TARGET_FILE:filespack_stub>"
    E2E_NO_SETUP_EXE="Z:$<TARGET_PROPERTY:runner_no_setup,FILESPACK_PRODUCT_FILE>"
    E2E_BACKSLASH_EXE="Z:$<TARGET_PROPERTY:runner_backslash_names,FILESPACK_PRODUCT_FILE>"
    E2E_FILESPACK_EXE="Z:$<TARGET_FILE:filespack>"
    E2E_PLANTED_DLL="Z:$<TARGET_FILE:runner_planted_dll>"
    E2E_SAMPLE_FILES="Z:${PROJECT_SOURCE_DIR}/samples/quolta"
    E2E_TREE_EXE="Z:$<TARGET_PROPERTY:runner_tree,FILESPACK_PRODUCT_FILE>"
    E2E_TREE_FILES="Z:${CMAKE_CURRENT_SOURCE_DIR}/tree"
    E2E_WORK_ROOT="Z:${CMAKE_CURRENT_BINARY_DIR}/e2e-work")
add_dependencies(runner_e2e_test quolta runner_big runner_no_package runner_no_setup
    runner_by_hand runner_signed runner_planted_dll runner_backslash_names filespack runner_tree)
# Dialogs need a display: run CTest under xvfb-run.
set_tests_properties(runner_e2e_test PROPERTIES TIMEOUT 600 RUN_SERIAL ON)
# The cases that run again under every other language setting (scripts/test.sh): unattended
# unpack, unpack next to the program, unattended install, an interactive run with its texts read
# back, a damaged product, filespack.exe, and the names and paths Shift-JIS makes hard.
add_test(NAME runner_e2e_languages COMMAND runner_e2e_test --gtest_brief=1
    "--gtest_filter=Languages.*:EndToEnd.UnattendedUnpackMakesANewFolder*:EndToEnd.UnpackOnlyKeepsTheFiles*:EndToEnd.UnattendedInstallPassesArguments*:EndToEnd.DamagedPackageFails*")
set_tests_properties(runner_e2e_languages PROPERTIES TIMEOUT 600 RUN_SERIAL ON LABELS languages)

# Drives one unpack-only run for scripts/demo.sh.
add_executable(runner_demo_driver demo_driver.cpp e2e_driver.cpp)
