#!/usr/bin/env python3
"""The layering check fails on a planted include and passes the includes the layers allow.

    layers_test.py CHECK_LAYERS SOURCE_DIR

Copies src/ and x9host/ into a scratch folder, plants one include at a time in a file of its
own in the folder named, and runs the check there. Ends with one line "N passed, N failed".
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile

# (folder that gets the include, include, whether the check must fail)
CASES = [
    ("x9host/cli", "transfer/dispatcher.h", True),
    ("x9host/session", "device/connection.h", True),
    ("x9host/content", "src/plugin/exports.h", True),
    ("x9host/gpx", "ui/messages.h", True),
    ("x9host/codec", "host/convert.h", True),
    ("x9host/os", "session/glossary.h", True),
    ("x9host/codec", "gpx/gpx.h", True),
    ("x9host/os", "codec/utf8.h", True),
    ("x9host/gpx", "content/transfer_list.h", True),
    ("x9host/session", "cli/options.h", True),
    ("src/device", "ui/messages.h", True),
    ("src/device", "host/tpi.h", True),
    ("src/ui", "device/path.h", True),
    ("src/text", "sim/host/host_sim.h", True),
    ("x9host/cli", "text/cp932.h", False),
    ("x9host/session", "ui/catalogue.h", False),
    ("x9host/content", "host/coordinates.h", False),
    ("x9host/os", "platform/platform.h", False),
    ("x9host/cli", "session/module_ui.h", False),
    ("x9host/gpx", "codec/wall_clock.h", False),
    ("x9host/codec", "os/os.h", False),
    ("src/transfer", "device/connection.h", False),
]


def main() -> int:
    check, source = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    passed = failed = 0
    with tempfile.TemporaryDirectory() as scratch:
        root = pathlib.Path(scratch)
        for folder in ("src", "x9host"):
            shutil.copytree(source / folder, root / folder)
        for folder, include, must_fail in CASES:
            target = root / folder / "planted_include.cpp"
            target.write_text(f'#include "{include}"\n', encoding="utf-8")
            run = subprocess.run([sys.executable, str(check), str(root / "src")],
                                 capture_output=True, text=True)
            target.unlink()
            file = f"{folder}/planted_include.cpp"
            named = include in run.stdout and target.name in run.stdout
            ok = (run.returncode == 1 and named) if must_fail else run.returncode == 0
            verdict = "fails" if must_fail else "passes"
            print(f"{'ok' if ok else 'FAILED'}: {file} -> {include}: the check {verdict}")
            if not ok:
                print(run.stdout)
            passed += ok
            failed += not ok
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
