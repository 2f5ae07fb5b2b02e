#!/usr/bin/env python3
"""The README's scripts as a new user runs them, each copied into a project tree of its own with
the build, the merge program and the package manager replaced by stubs that log their calls:
score-brackets.sh over a mixed set of brackets from another current folder, run.sh without a
desktop session, merge-sample.sh, and install-deps.sh's two sets of packages."""
import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

SCRIPTS = pathlib.Path(__file__).resolve().parents[2] / "scripts"


def write(path, text, executable=True):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    path.chmod(0o755 if executable else 0o644)


class Sandbox:
    """A project holding copies of the named scripts, a folder of stub commands put first on the
    PATH, and one log that the stubs and the script's messages go to in order."""

    def __init__(self, folder, *scripts):
        self.folder = pathlib.Path(folder)
        self.root = self.folder / "project"
        self.bin = self.folder / "bin"
        self.log = self.folder / "log"
        for script in scripts:
            (self.root / "scripts").mkdir(parents=True, exist_ok=True)
            shutil.copy(SCRIPTS / script, self.root / "scripts" / script)
        self.log.write_text("")

    def stub(self, path, body):
        write(path, f'#!/bin/sh\n{body}\n')

    def logging_stub(self, path, name):
        self.stub(path, f'echo "{name} $*" >> "{self.log}"')

    def run(self, script, args, cwd, messages_to_log=False):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env["PATH"] = f"{self.bin}:{env.get('PATH', '/usr/bin:/bin')}"
        with open(self.log, "a") as log:
            return subprocess.run([str(self.root / "scripts" / script), *args], cwd=cwd, env=env,
                                  stdout=subprocess.PIPE, text=True, timeout=60,
                                  stderr=log if messages_to_log else subprocess.PIPE)

    def lines(self):
        return self.log.read_text().splitlines()


class ScoreBrackets(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.box = Sandbox(self.tmp.name, "score-brackets.sh")
        self.box.logging_stub(self.box.root / "scripts" / "install-deps.sh", "install-deps")
        self.box.logging_stub(self.box.bin / "cmake", "cmake")
        # Refuses a bracket holding a photo named "damaged", as the merge program refuses a
        # cut-short photo; otherwise writes the output.
        self.box.stub(self.box.root / "build" / "merge" / "tonefold-merge", f'''
echo "merge $*" >> "{self.box.log}"
out=$2; shift 2
for photo in "$@"; do
  case "$photo" in */damaged.jpg) echo "tonefold-merge: $photo: is truncated" >&2; exit 1 ;; esac
done
: > "$out"''')
        self.work = pathlib.Path(self.tmp.name) / "work"
        photos = {
            "a-lower": ["x1.jpg", "x2.jpg", "x3.jpg"],
            "b-upper": ["IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"],
            "c-png": ["p1.png", "p2.PNG", "p3.Png"],
            "d-damaged": ["d1.jpg", "damaged.jpg", "d3.jpg"],
            "e-jpeg": ["e1.jpeg", "e2.jpeg", "e3.JPEG"],
            "f-two": ["f1.jpg", "f2.jpg", "notes.txt"],
        }
        for folder, names in photos.items():
            for name in names:
                write(self.work / "brackets" / folder / name, "", executable=False)
        # Not executable: run with python3. Prints the score, then what it was given.
        write(self.work / "score.py", 'import sys\nprint("0.9123", len(sys.argv) - 1)\n',
              executable=False)

    def tearDown(self):
        self.tmp.cleanup()

    def test_relative_arguments_every_photo_type_and_a_refusal_midway(self):
        result = self.box.run("score-brackets.sh", ["brackets", "score.py"], cwd=self.work)
        rows = {line.split()[0]: line.split(None, 1)[1] for line in result.stdout.splitlines()}
        self.assertEqual(rows["a-lower"], "0.9123")
        self.assertEqual(rows["b-upper"], "0.9123")
        self.assertEqual(rows["c-png"], "0.9123")
        self.assertIn("refused", rows["d-damaged"])
        self.assertEqual(rows["e-jpeg"], "0.9123", "the run goes on after a refusal")
        self.assertIn("skipped", rows["f-two"])
        self.assertIn("damaged.jpg: is truncated", result.stderr)
        self.assertEqual(result.returncode, 1)
        merges = [line for line in self.box.lines() if line.startswith("merge")]
        upper = self.work / "brackets" / "b-upper"
        self.assertIn(f"{upper}/IMG_0001.JPG {upper}/IMG_0002.JPG {upper}/IMG_0003.JPG",
                      merges[1])

    def test_without_arguments_or_a_scorer_it_says_what_is_needed(self):
        result = self.box.run("score-brackets.sh", [], cwd=self.work)
        self.assertEqual(result.returncode, 2)
        self.assertIn("mef_ssim.py", result.stderr)
        self.assertIn("SCORER", result.stderr)
        result = self.box.run("score-brackets.sh", ["brackets", "missing.py"], cwd=self.work)
        self.assertEqual(result.returncode, 2)
        self.assertIn("No scorer at missing.py", result.stderr)
        self.assertEqual(self.box.lines(), [], "nothing installed or built")


class RunWithoutDisplay(unittest.TestCase):
    def test_says_so_first_and_builds_only_the_merge_program(self):
        with tempfile.TemporaryDirectory() as tmp:
            box = Sandbox(tmp, "run.sh", "build-programs.sh")
            box.logging_stub(box.root / "scripts" / "install-deps.sh", "install-deps")
            box.logging_stub(box.bin / "cmake", "cmake")
            result = box.run("run.sh", [], cwd=tmp, messages_to_log=True)
            lines = box.lines()
            self.assertEqual(result.returncode, 1)
            self.assertIn("needs a desktop session", lines[0])
            self.assertIn("merge program", lines[0])
            self.assertIn("install-deps --programs", lines)
            configure = next(line for line in lines if line.startswith("cmake -S"))
            self.assertIn("-DTONEFOLD_BUILD_TESTS=OFF", configure)
            build = next(line for line in lines if line.startswith("cmake --build"))
            self.assertTrue(build.endswith("--target tonefold-merge"), build)


class MergeSample(unittest.TestCase):
    """The sample needs only the merge program and its packages, and its picture lands under
    build/ (ignored by git) unless the user names another."""

    def merged(self, args):
        with tempfile.TemporaryDirectory() as tmp:
            box = Sandbox(tmp, "merge-sample.sh", "build-programs.sh")
            box.logging_stub(box.root / "scripts" / "install-deps.sh", "install-deps")
            box.logging_stub(box.bin / "cmake", "cmake")
            box.logging_stub(box.root / "build" / "merge" / "tonefold-merge", "merge")
            elsewhere = pathlib.Path(tmp) / "elsewhere"
            elsewhere.mkdir()
            result = box.run("merge-sample.sh", args, cwd=elsewhere)
            self.assertEqual(result.returncode, 0, result.stderr)
            lines = box.lines()
            self.assertIn("install-deps --programs", lines)
            build = next(line for line in lines if line.startswith("cmake --build"))
            self.assertTrue(build.endswith("--target tonefold-merge"), build)
            self.assertIn("Configuring build/", result.stdout)
            merge = next(line for line in lines if line.startswith("merge"))
            output = merge.split()[merge.split().index("-o") + 1]
            return pathlib.Path(output).relative_to(tmp)

    def test_builds_only_the_merge_program_and_writes_under_build(self):
        self.assertEqual(self.merged([]), pathlib.Path("project/build/flowers-merged.jpg"))

    def test_a_named_output_is_taken_from_the_current_folder(self):
        self.assertEqual(self.merged(["mine.jpg"]), pathlib.Path("elsewhere/mine.jpg"))


class InstallDeps(unittest.TestCase):
    def installed(self, args):
        with tempfile.TemporaryDirectory() as tmp:
            box = Sandbox(tmp, "install-deps.sh")
            box.stub(box.bin / "dpkg-query", "exit 1")  # nothing is installed
            box.stub(box.bin / "id", "echo 0")  # as root
            box.logging_stub(box.bin / "apt-get", "apt-get")
            result = box.run("install-deps.sh", args, cwd=tmp)
            self.assertEqual(result.returncode, 0, result.stderr)
            install = next(line for line in box.lines() if " install " in line)
            return set(install.split()) - {"apt-get", "install", "-y", "-qq",
                                           "--no-install-recommends"}

    def test_the_programs_set_leaves_out_the_test_packages(self):
        checks = {"libgtest-dev", "libgmock-dev", "libbenchmark-dev", "clang"}
        programs = self.installed(["--programs", "python3-numpy"])
        everything = self.installed([])
        self.assertTrue({"qt6-base-dev", "libraw-dev", "libturbojpeg0-dev", "libpng-dev",
                         "python3-numpy"} <= programs, programs)
        self.assertFalse(programs & checks, programs)
        self.assertTrue(checks | (programs - {"python3-numpy"}) <= everything, everything)


if __name__ == "__main__":
    unittest.main()
