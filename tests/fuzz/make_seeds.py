#!/usr/bin/env python3
"""Writes the seed corpora of the zip fuzz targets into corpus/<target>/.

Every seed is made here, with Python's zipfile and a few byte patches: ordinary packages as the
update server's come, and the hostile shapes the extractor refuses. Run it again after changing
it; the files are kept in the repository so the fuzz run needs no Python.
"""
import io
import pathlib
import struct
import warnings
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
DOS_TIME = (2024, 5, 17, 12, 34, 56)


def info(name, *, unix_mode=None, dos_attrs=0x20, extra=b"", method=zipfile.ZIP_DEFLATED):
    item = zipfile.ZipInfo(name, DOS_TIME)
    item.compress_type = method
    item.extra = extra
    if unix_mode is None:
        item.create_system = 0
        item.external_attr = dos_attrs
    else:
        item.create_system = 3
        item.external_attr = (unix_mode << 16) | dos_attrs
    return item


def package(items, **options):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", **options) as zip_file:
        for item, data in items:
            zip_file.writestr(item, data)
    return buffer.getvalue()


def central_entries(data):
    end = data.rindex(b"PK\x05\x06")
    count, _, offset = struct.unpack_from("<HII", data, end + 10)
    at, entries = offset, []
    for _ in range(count):
        entries.append(at)
        n, m, k = struct.unpack_from("<HHH", data, at + 28)
        at += 46 + n + m + k
    return entries


def point_at(data, entry, target):
    data = bytearray(data)
    entries = central_entries(bytes(data))
    data[entries[entry] + 42:entries[entry] + 46] = data[entries[target] + 42:entries[target] + 46]
    return bytes(data)


def unix_times(flags, *times):
    return b"UT" + struct.pack("<HB", 1 + 4 * len(times), flags) + b"".join(
        struct.pack("<I", t) for t in times)


def extractor_seeds():
    firmware = bytes(range(256)) * 16
    text = b"version 15-05-2023\r\n" * 50
    seeds = {
        "update_package.zip": package([
            (info("Dahlia_F0173_V0012_D150523.bin"), firmware),
            (info("readme.txt"), text)]),
        "stored_and_folders.zip": package([
            (info("fw/", dos_attrs=0x10, method=zipfile.ZIP_STORED), b""),
            (info("fw/a.bin", method=zipfile.ZIP_STORED), b"stored bytes"),
            (info("solo/b.bin"), b"b" * 300)]),
        "unix_modes_and_times.zip": package([
            (info("ro.bin", unix_mode=0o100444, extra=unix_times(7, 1700000000, 1700000100,
                                                                 1700000200)), b"ro"),
            (info("rw.bin", unix_mode=0o100644, extra=unix_times(1, 1700000000)), b"rw"),
            (info("dir/", unix_mode=0o40755, dos_attrs=0x10), b""),
            (info("link", unix_mode=0o120777), b"../outside")]),
        "hostile_names.zip": package([
            (info("../../evil.bin"), b"1"), (info("..\\evil.bin"), b"2"),
            (info("C:\\x\\y.bin"), b"3"), (info("\\\\server\\share\\x"), b"4"),
            (info("/abs/z.bin"), b"5"), (info("a/../b.bin"), b"6"), (info(".."), b"7"),
            (info("..."), b"8"), (info("dup.bin"), b"first"), (info("dup.bin"), b"second")]),
        "zip64.zip": package([(info("big.bin"), b"z" * 1000)], allowZip64=True),
        "empty.zip": package([]),
    }
    shared = package([(info("a.bin"), b"shared" * 100), (info("b.bin"), b"shared" * 100),
                      (info("c.bin"), b"shared" * 100)])
    seeds["overlapping.zip"] = point_at(point_at(shared, 1, 0), 2, 0)
    seeds["one_mib_of_zeros.zip"] = package([(info("zeros.bin"), bytes(1 << 20))])
    bad_crc = bytearray(package([(info("bad.bin"), b"hello hello hello")]))
    for at in [0] + central_entries(bytes(bad_crc)):
        offset = at + (14 if at == 0 else 16)
        bad_crc[offset] ^= 1
    seeds["bad_crc.zip"] = bytes(bad_crc)
    with_descriptor = io.BytesIO()
    with zipfile.ZipFile(with_descriptor, "w") as zip_file:  # streamed: data descriptors
        with zip_file.open(info("streamed.bin"), "w") as member:
            member.write(b"streamed " * 100)
    seeds["data_descriptor.zip"] = with_descriptor.getvalue()
    seeds["truncated.zip"] = seeds["update_package.zip"][:700]
    return seeds


def name_seeds():
    names = [b"../../evil.bin", b"..\\evil.bin", b"C:\\x\\y.bin", b"/abs/z.bin", b"a/../b.bin",
             b"\\\\server\\share\\x", b"fw/", b"..", b"...", b"a/..", b"x/..\\y",
             "\u00e9:x".encode(), b"\xc0\xaf..\xc0\xaf", b"\xff\xfe", b"nul\x00../x",
             b"Dahlia_F0173_V0012_D150523.bin", "Обновление/файл.bin".encode()]
    return {f"name_{i:02}": name for i, name in enumerate(names)}


def main():
    warnings.filterwarnings("ignore", "Duplicate name")  # wanted: duplicates are a seed
    for target, seeds in (("zip_extractor_fuzz", extractor_seeds()), ("zip_name_fuzz", name_seeds())):
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
