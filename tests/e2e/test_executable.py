"""What the shipped launcher executable is, read from its PE image."""
import pefile
import pytest

from conftest import LAUNCHER

# KnownDLLs, which Windows loads only from the system folder, and comctl32, which the manifest's
# Common-Controls dependency binds side by side. bcrypt and cabinet are neither, so the launcher loads them
# at run time from the system folder: a DLL of that name planted beside it in a Downloads folder is never
# loaded.
WINDOWS_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "msvcrt.dll", "comctl32.dll"}


@pytest.fixture(scope="module")
def image():
    pe = pefile.PE(str(LAUNCHER))
    yield pe
    pe.close()


def test_is_a_64_bit_gui_program(image):
    assert image.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
    assert image.OPTIONAL_HEADER.Magic == 0x20B  # PE32+
    assert image.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]


def test_imports_only_dlls_that_cannot_be_planted_beside_it(image):
    imported = {entry.dll.decode().lower() for entry in image.DIRECTORY_ENTRY_IMPORT}
    assert imported <= WINDOWS_DLLS, imported - WINDOWS_DLLS
    # The C++ runtime is linked in, not looked for beside the executable.
    assert not any(name.startswith(("libstdc++", "libgcc", "libwinpthread")) for name in imported)


def _manifest(pe) -> str:
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            data = kind.directory.entries[0].directory.entries[0].data.struct
            return pe.get_data(data.OffsetToData, data.Size).decode("utf-8")
    return ""


def test_manifest_runs_as_invoker_and_is_long_path_aware(image):
    manifest = _manifest(image)
    assert 'level="asInvoker"' in manifest
    assert 'uiAccess="false"' in manifest
    assert ">true</longPathAware>" in manifest


def test_carries_no_package_of_its_own(image):
    rcdata = [k for k in image.DIRECTORY_ENTRY_RESOURCE.entries if k.id == pefile.RESOURCE_TYPE["RT_RCDATA"]]
    assert not rcdata
