"""Outputs that cannot be written: the file the user named is named, the exit
status is 1, nothing complete-looking is left, links are written through."""

import os

import pytest

from conftest import SUMMARY, founders, run_batch, run_tool
from test_cli import HAND_ROWS, HEADER, write

from duolocus.errors import OutputError
from duolocus.files import write_atomically, write_together

FULL = "/dev/full"
needs_full = pytest.mark.skipif(not os.path.exists(FULL), reason="no /dev/full here")


def leftovers(folder):
    return sorted(n for n in os.listdir(folder) if ".part-" in n)


class TestWriting:
    def test_whole_file_appears_under_its_name(self, tmp_path):
        write_atomically(str(tmp_path / "out.txt"), lambda h: h.write("done\n"))
        assert (tmp_path / "out.txt").read_text() == "done\n"
        assert leftovers(tmp_path) == []

    def test_failed_writer_leaves_nothing(self, tmp_path):
        def fail(handle):
            handle.write("half")
            raise OSError(28, "No space left on device")
        with pytest.raises(OutputError) as err:
            write_atomically(str(tmp_path / "out.txt"), fail)
        assert str(err.value) == f"cannot write {tmp_path / 'out.txt'}: No space left on device"
        assert os.listdir(tmp_path) == []

    def test_link_to_a_file_is_written_through(self, tmp_path):
        (tmp_path / "real.csv").write_text("old\n")
        os.symlink("real.csv", tmp_path / "link.csv")
        write_atomically(str(tmp_path / "link.csv"), lambda h: h.write("new\n"))
        assert os.path.islink(tmp_path / "link.csv")
        assert (tmp_path / "real.csv").read_text() == "new\n"

    @needs_full
    def test_link_to_a_full_device_fails_and_stays_a_link(self, tmp_path):
        os.symlink(FULL, tmp_path / "s.csv")
        with pytest.raises(OutputError) as err:
            write_atomically(str(tmp_path / "s.csv"), lambda h: h.write("x" * 100000))
        assert str(err.value) == f"cannot write {tmp_path / 's.csv'}: No space left on device"
        assert os.readlink(tmp_path / "s.csv") == FULL
        assert leftovers(tmp_path) == []

    @needs_full
    def test_files_written_together_appear_together_or_not_at_all(self, tmp_path):
        os.symlink(FULL, tmp_path / "second.csv")
        with pytest.raises(OutputError):
            write_together([(str(tmp_path / "first.csv"), lambda h: h.write("whole\n")),
                            (str(tmp_path / "second.csv"), lambda h: h.write("x" * 100000))])
        assert not (tmp_path / "first.csv").exists()
        assert leftovers(tmp_path) == []

    @pytest.mark.skipif(os.geteuid() == 0, reason="root writes into read-only folders")
    def test_read_only_folder_names_the_file_asked_for(self, tmp_path):
        folder = tmp_path / "ro"
        folder.mkdir()
        folder.chmod(0o555)
        try:
            with pytest.raises(OutputError) as err:
                write_atomically(str(folder / "s.csv"), lambda h: h.write("x"))
            assert str(err.value).startswith(f"cannot write {folder / 's.csv'}: Permission denied")
        finally:
            folder.chmod(0o755)


class TestCommandLine:
    @pytest.fixture
    def table(self, tmp_path):
        return write(tmp_path / "hand.csv", [HEADER] + HAND_ROWS)

    @needs_full
    def test_full_disk_names_the_output_and_fails(self, table, tmp_path):
        os.symlink(FULL, tmp_path / "s.csv")
        status, _, err = run_tool(SUMMARY, table, "--csv", tmp_path / "s.csv")
        assert status == 1
        assert err == f"duolocus-summary: cannot write {tmp_path / 's.csv'}: No space left on device\n"
        assert os.path.islink(tmp_path / "s.csv")

    @needs_full
    def test_merge_on_a_full_disk_leaves_no_jobs_table(self, tmp_path):
        run_batch("seed = [1, 2]\niterations = 3\nmax_generations = 100\n", tmp_path, "ix")
        os.symlink(FULL, tmp_path / "m.csv")
        status, _, err = run_tool(SUMMARY, "--merge", tmp_path / "m.csv", tmp_path / "ix_index.csv")
        assert status == 1
        assert f"cannot write {tmp_path / 'm.csv'}: No space left on device" in err
        assert not (tmp_path / "m.jobs.csv").exists() and leftovers(tmp_path) == []

    def test_figure_into_a_missing_folder_of_a_file(self, table, tmp_path):
        (tmp_path / "file").write_text("")
        status, _, err = run_tool("plot", "final", "-o", tmp_path / "file" / "f.png", table)
        assert status == 1
        assert err.startswith(f"duolocus-plot: cannot write {tmp_path / 'file' / 'f.png'}: cannot make its folder")

    def test_missing_folder_names_the_file_asked_for(self, table, tmp_path):
        status, _, err = run_tool(SUMMARY, table, "--csv", tmp_path / "no" / "s.csv")
        assert status == 1
        assert err == f"duolocus-summary: cannot write {tmp_path / 'no' / 's.csv'}: No such file or directory\n"

    def test_help_shows_one_percent_sign(self):
        status, out, _ = run_tool(SUMMARY, "--help")
        assert status == 0
        assert "95% Wilson" in " ".join(out.split()) and "%%" not in out
