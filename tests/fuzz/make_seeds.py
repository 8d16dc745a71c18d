#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

Every seed is made here: for the zip targets with Python's zipfile and a few byte patches
(ordinary packages as the update server's come, and the hostile shapes the extractor refuses);
for the others in the field layout their target's opening comment gives, with files of many
MiB written as a size and a few pieces. Run it again after changing it, naming the targets to
write (all when none is named); the files are kept in the repository so the fuzz run needs no
Python.
"""
import io
import pathlib
import struct
import sys
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


def record(country, type_byte, *digits):
    return bytes([0xA4, 0x5B, country, type_byte, *digits])


def header(fw=0, voice=0, db=0, signature=0):
    return b"\0" + struct.pack("<IIIH", fw, voice, db, signature) + b"\0"


def update_file(type_code, name, size, rec, voice, head):
    return bytes([type_code & 0xFF]) + name.encode() + b"\n" + struct.pack("<I", size) + rec + \
        voice + head


def update_file_seeds():
    dahlia = "Dahlia_F0173_V0012_D150523.bin"
    dahlia_header = header(fw=0x1CF00, voice=0x100, db=0x100)
    return {
        "type4_accepted.bin": update_file(4, dahlia, 0x2FD110, record(3, 4, 0, 1, 7, 3),
                                          bytes([0, 0, 1, 2]), dahlia_header),
        "type4_country_refused.bin": update_file(4, dahlia, 0x2FD110, record(7, 4, 0, 1, 7, 3),
                                                 bytes(4), dahlia_header),
        "type4_record_cut_short.bin": update_file(4, dahlia, 0x1CF04, record(3, 4, 0, 1, 7, 3),
                                                  bytes(4), dahlia_header),
        "type4_voice_past_the_end.bin": update_file(4, dahlia, 0x1D080, record(12, 4, 0, 2, 4, 3),
                                                    bytes(4), dahlia_header),
        "type8_signature_flag_bit.bin": update_file(
            8, "DahliaLite_F0210_V0005_D150523_S0001.bin", 0x802000, record(3, 0x88, 0, 2, 1, 0),
            bytes([0, 0, 0, 5]), header(voice=0x10, db=0x10, signature=0x2000)),
        "type26_record_in_header.bin": update_file(
            26, "FernUltra_F0105_V0003_D010224.bin", 0x900020, record(3, 26, 1, 0, 5, 0),
            bytes([0, 0, 0, 3]), header(fw=0x1000, voice=0x10, db=0x10)),
        "type1_no_local_files.bin": update_file(1, "Aster_F0102.bin", 0x8000, bytes(8), bytes(4),
                                                header()),
        "wildcard_pattern.bin": update_file(
            5, "DahliaMax_F0200_V0001_D010124.bin/Dahlia*_F*_V????_D*.bin", 0x41D010,
            record(3, 5, 0, 2, 0, 0), bytes(4), header(fw=0x100)),
    }


def inquiry(model, text=b"Firmware Update"):
    data = bytearray(36)
    data[0:5] = bytes([0x00, 0x80, 0x02, 0x02, 31])
    data[8:8 + len(text)] = text
    data[24] = model
    data[32:36] = b"1.00"
    return bytes(data)


def device_copy(model, *, sent=36, fails=False, text=b"Firmware Update", controller_size=0,
                controller_record=bytes(8), flash_size=0, flash_record=bytes(8),
                database=bytes(11), aux=bytes(4), firmware=b"", flash=b""):
    control = sent | (0x80 if fails else 0)
    return bytes([control]) + inquiry(model, text) + struct.pack("<I", controller_size) + \
        controller_record + struct.pack("<I", flash_size) + flash_record + database + aux + \
        bytes([len(firmware)]) + firmware + flash


def device_copy_seeds():
    text = b"v1.2 150523"
    return {
        # One build-table row of type 4 and one voice-table row match the sums.
        "type4_build_tables.bin": device_copy(4, controller_size=0x20000, firmware=b"\x0c",
                                              flash_size=0x500000, database=text,
                                              flash=b"\x74"),
        "type0_old_hardware_record.bin": device_copy(
            0, controller_size=0x20000, controller_record=record(12, 4, 0, 2, 4, 3),
            flash_size=0x500000, database=text, flash=bytes([0, 2, 4, 3])),
        "type8_flag_bit_aux.bin": device_copy(
            0x88, controller_size=0x40000, controller_record=record(3, 8, 0, 2, 1, 0),
            flash_size=0x800000, database=text, aux=bytes([0, 1, 0, 2]), flash=bytes([0, 0, 1, 5])),
        "type25_flash_record.bin": device_copy(
            25, controller_size=0x100000, flash_size=0x1000000,
            flash_record=record(3, 25, 1, 0, 2, 0), database=text, flash=bytes([0, 0, 0, 3])),
        "type26_both_records.bin": device_copy(
            26, controller_size=0x100000, controller_record=record(109, 26, 1, 0, 5, 0),
            flash_size=0x1000000, flash_record=record(3, 26, 1, 0, 6, 0), database=text),
        "type2_voice_table.bin": device_copy(2, controller_size=0x10000, flash_size=0x200000,
                                             flash=b"\xd0"),
        "copies_cut_short.bin": device_copy(22, controller_size=0x5FEF4,
                                            controller_record=record(3, 22, 0, 3, 0, 1),
                                            flash_size=0x7FD004, flash_record=record(3, 22, 0, 3, 0, 2)),
        "inquiry_text_wrong_case.bin": device_copy(9, text=b"Firmware update"),
        "inquiry_cut_short.bin": device_copy(9, sent=20),
        "inquiry_fails.bin": device_copy(9, fails=True),
    }


MENU_KEYS = [
    "Language", "X OnOff", "Ku OnOff", "Ka OnOff", "K OnOff", "Strelka OnOff", "Laser",
    "Smart GPS", "Highway", "City1", "City2", "City3", "AOSPD", "AMSPD", "ACSPD", "ATSPD", "OSPD",
    "OSL", "LowPowerRadar", "SystemPotok", "StrelkaDB", "StrelkaVideo", "TrafficLight",
    "RailRoadCrossing", "MobileRadar", "PostDPS", "Autodoria", "DummyRadar", "Radar", "Platon",
    "ParkingControl", "StrelkaM", "Robot", "SenseSpeedway", "SenseHighway", "FilterIndicator",
    "AutoLcd", "OffScreen", "Animation", "GpsSpeedway", "ASSPD", "AEMSPD", "ExtraMuteGps",
    "OSLAlert", "DistanceVoice", "Hikvision", "Lochin", "Autocon"]


def menu(values, *, eol="\n", spaces=False):
    separator = " = " if spaces else "="
    lines = ["[Menu]"] + [f"{key}{separator}{value}" for key, value in zip(MENU_KEYS, values)]
    return (eol.join(lines) + eol).encode()


def parameters_ini_seeds():
    ordinary = [i % 3 for i in range(len(MENU_KEYS))]
    odd = ["  -0012abc", "+2147483648", "-99999999999", "0x10", "", "99", "-1", "2", "\t7"]
    odd_values = [odd[i % len(odd)] for i in range(len(MENU_KEYS))]
    return {
        "all_keys.ini": menu(ordinary),
        "bom_crlf_spaces_comments.ini": b"\xef\xbb\xbf; saved by the updater\r\n[Other]\r\nx=1\r\n" +
        menu(ordinary, eol="\r\n", spaces=True),
        "one_key_missing.ini": menu(ordinary[:-1]),
        "odd_numbers.ini": menu(odd_values),
        "duplicates.ini": menu(ordinary) + b"[Menu]\nLanguage=1\nLanguage=0\n[menu]\nLaser=5\n",
        "cyrillic_and_multiline.ini": "[Меню]\nЯзык=1\n[Menu]\nLanguage=<<<END\n1\nEND\n".encode(),
        "empty.ini": b"",
    }


def server_version_seeds():
    versions = [b"15-05-2023", b"15-05-2023\r\n", b"\xef\xbb\xbf15-05-2023\n", b"15-05-2023 \t\n",
                b"2023.05.15_beta", b"1" * 64, b"1" * 65, b".15-05-2023", b"5-05-2023\n",
                b"../x/15-05-2023", b"15-05-2023\0x", b"<html><body>Not here</body></html>\n"]
    return {f"version_{i:02}": version for i, version in enumerate(versions)}


def main():
    warnings.filterwarnings("ignore", "Duplicate name")  # wanted: duplicates are a seed
    targets = {"zip_extractor_fuzz": extractor_seeds, "zip_name_fuzz": name_seeds,
               "update_file_fuzz": update_file_seeds, "device_copy_fuzz": device_copy_seeds,
               "parameters_ini_fuzz": parameters_ini_seeds,
               "server_version_fuzz": server_version_seeds}
    for target in sys.argv[1:] or targets:
        seeds = targets[target]()
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
