# docs/python.md's whole example, taken from that page as it stands there and run
# from the top of a clone (a scratch folder holding examples/hue.pgm): it prints
# the command's report, writes the command's pixels, and writes only into out/.
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MARKER = "<!-- example: python/tests/test_doc_example.py runs this block -->"


def doc_example():
    with open(os.path.join(ROOT, "docs", "python.md"), encoding="utf-8") as page:
        found = re.search(re.escape(MARKER) + r"\n```python\n(.*?\n)```\n", page.read(), re.S)
    assert found, "docs/python.md has no python block after " + MARKER
    return found[1]


def test_doc_example_gives_the_commands_answer(scratch):
    top = os.path.join(scratch, "doc-example")
    os.makedirs(os.path.join(top, "examples"))
    shutil.copy(os.path.join(ROOT, "examples", "hue.pgm"), os.path.join(top, "examples"))

    example = subprocess.run([sys.executable, "-c", doc_example()], cwd=top, capture_output=True)
    assert example.returncode == 0, example.stderr.decode()
    command = subprocess.run([os.environ["CIRCTHRESH_COMMAND"], os.path.join(top, "examples", "hue.pgm"),
                              os.path.join(scratch, "doc-command.pgm")], capture_output=True, check=True)
    assert example.stdout == command.stdout

    with open(os.path.join(top, "out", "hue-mask.pgm"), "rb") as mask:
        written = mask.read()
    with open(os.path.join(scratch, "doc-command.pgm"), "rb") as mask:
        # The command's header has a comment line, the example's none.
        expected = mask.read().replace(b"#created by Quenbarlit\n", b"", 1)
    assert written == expected
    assert sorted(os.listdir(top)) == ["examples", "out"]
    assert os.listdir(os.path.join(top, "out")) == ["hue-mask.pgm"]
