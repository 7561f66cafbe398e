"""The compiled help Korrin.chm: read back with 7-Zip, it holds the start page, an index entry for
every help keyword of the program's string table, the window type, every dialog's popup file with
an entry for each control that has a popup, and no link to a missing page. Its binary keyword
index, read through its B-tree as the viewer's keyword look-up reads it, leads every keyword to
its page. Under Wine, hh.exe shows it with our contents (a picture goes to
build/artifacts/help-window.png) and Help > Contents opens it."""
import os
import pathlib
import re
import shutil
import struct
import subprocess
import time

import pytest

from conftest import IMPORT, ROOT
from test_shell import WM_CLOSE, WM_COMMAND, Program

IDM_HELP = 32788
HELP_TITLE = "Velloran Help"
# The help window's class in the HTML Help control.
HELP_CLASS = "HH Parent"

# Every control of each dialog whose F1 shows a popup from that dialog's file.
POPUP_CONTROLS = {
    "About.txt": [1051, 1055],
    "CfgAdvanced.txt": [1015, 1016, 1017, *range(1019, 1032), 1051, 1052, 1054],
    "CfgGeneral.txt": [*range(1001, 1009), 1029, 1030, 1031],
    "CfgNotes.txt": [1000],
    "CfgSchedule.txt": [1000, 1009, 1010, 1011, 1013, 1014, 1015, *range(1020, 1026), 1062, 1063, 1089, 1096, 1097],
    "CombineSplitZIP.txt": [1000, 1057],
    "DateFilterZIP.txt": [1070, 1071, 1072, 1073],
    "EmailRes.txt": [1000, 1001, 1014, 1015, 1016, 1061, 1093, 1097, 1102, 1124, 1205, 1206, 1208, 1249, 1250, 1252],
    "FileExtension.txt": [1037],
    "FilterOptions.txt": [1005, 1006, 1032, 1034, 1035, 1036, 1037, 1050, 1051, 1076, 1077, 1078],
    "ListColumnSelect.txt": [1187, 1193, 1194, 1195],
    "Options.txt": [*range(1081, 1088), 1089, 1091, 1093, 1094, 1096, 1097, 1099, 1100, 1101, 1104, 1107, 1108],
    "RmtEmail.txt": [1000, 1001, 1014, 1015, 1016, 1061, 1063, 1093, 1097, 1102, 1124, 1205, 1206, 1208, 1249, 1250,
                     1252],
    "RmtFTP.txt": [1000, 1001, 1016, 1060, 1061, 1062, 1093, 1104, 1106, 1107, 1205, 1206, 1208],
    "SplitZIP.txt": [1000, 1054, 1055],
}


def help_keywords():
    """The help keywords of the string table: {string id: text}."""
    resources = ROOT / "resources"
    ids = dict(re.findall(r"#define (IDS_HELPKEY_\w+) (\d+)", (resources / "resource.h").read_text()))
    texts = {}
    for rc in resources.glob("*.rc"):
        texts.update(re.findall(r"^\s*(IDS_HELPKEY_\w+)\s+\"([^\"]*)\"", rc.read_text(), re.M))
    return {int(number): texts[name] for name, number in ids.items()}


def make_help_file(stage, output, pictures=None):
    command = ["bash", str(ROOT / "help" / "make_chm.sh"), str(stage), str(output)]
    subprocess.run(command + ([str(pictures)] if pictures else []), check=True, capture_output=True, timeout=120)
    unpacked = stage.parent / (output.stem + "-unpacked")
    subprocess.run(["7z", "x", "-y", f"-o{unpacked}", str(output)], check=True, capture_output=True, timeout=60)
    return unpacked


@pytest.mark.parametrize("with_pictures", [True, False])
def test_pages_show_the_programs_pictures_when_the_build_has_them(tmp_path, with_pictures):
    pictures = tmp_path / "artifacts"
    pictures.mkdir()
    asked = ["main-window.png", "editor-general-8pt.png", "editor-schedule-8pt.png", "editor-advanced-8pt.png",
             "editor-notes-8pt.png"]
    if with_pictures:
        for name in asked:
            subprocess.run(["/usr/bin/convert", "-size", "4x3", "xc:#3437d1", str(pictures / name)], check=True,
                           timeout=60)
    tree = make_help_file(tmp_path / "stage", tmp_path / "Korrin.chm", pictures)
    shown = {}
    for page in (tree / "help").glob("*.htm"):
        text = page.read_text("cp1252")
        assert "<!--picture" not in text, page.name
        shown.update({name: page.name for name in re.findall(r"<img src=\"([^\"]+)\"", text)})
    if with_pictures:
        assert sorted(shown) == sorted(asked)
        assert shown["main-window.png"] == "main_window.htm"
        for name in asked:
            assert (tree / "help" / name).read_bytes() == (pictures / name).read_bytes()
    else:
        assert shown == {} and not list((tree / "help").glob("*.png"))


def test_each_help_keyword_is_defined_once():
    definitions = []
    for rc in (ROOT / "resources").glob("*.rc"):
        definitions += re.findall(r"^\s*(IDS_HELPKEY_\w+)\s+\"", rc.read_text(), re.M)
    assert len(definitions) == 15 and len(set(definitions)) == 15, sorted(definitions)


def sitemap_entries(path):
    """(Name, Local) of every entry of a contents or index file."""
    entries = []
    for block in re.findall(r"<OBJECT type=\"text/sitemap\">(.*?)</OBJECT>", path.read_text("cp1252"), re.S | re.I):
        params = dict(re.findall(r"<param name=\"(\w+)\" value=\"([^\"]*)\"", block, re.I))
        entries.append((params.get("Name"), params.get("Local")))
    return entries


def in_help(tree, local):
    return tree / local.replace("\\", "/").lstrip("/")


def utf16z(data, pos):
    """The NUL-terminated UTF-16 text at pos and the position after it."""
    end = pos
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


class KeywordIndex:
    """$WWKeywordLinks/BTree with #TOPICS, #URLTBL and #URLSTR: a keyword is looked up from the
    root block down through the index blocks to its listing block, and its topics lead through
    the topic and URL tables to page names."""

    def __init__(self, tree):
        self.btree = (tree / "$WWKeywordLinks" / "BTree").read_bytes()
        self.topics = (tree / "#TOPICS").read_bytes()
        self.urltbl = (tree / "#URLTBL").read_bytes()
        self.urlstr = (tree / "#URLSTR").read_bytes()
        assert self.btree[:2] == b";)" and struct.unpack_from("<H", self.btree, 4)[0] == 2048
        (self.last_listing, self.root, _, self.blocks, self.depth, self.keywords, _,
         self.locale) = struct.unpack_from("<IIiIHIII", self.btree, 26)

    def block(self, number):
        assert 0 <= number < self.blocks, number
        return self.btree[76 + number * 2048:76 + (number + 1) * 2048]

    @staticmethod
    def entries(block, header, child):
        """(keyword, topics, child block or None) of each entry of a block."""
        found = []
        pos = header
        for _ in range(struct.unpack_from("<H", block, 2)[0]):
            keyword, pos = utf16z(block, pos)
            pairs = struct.unpack_from("<I", block, pos + 12)[0]
            topics = list(struct.unpack_from(f"<{pairs}I", block, pos + 16))
            pos += 16 + 4 * pairs
            if child:
                found.append((keyword, topics, struct.unpack_from("<I", block, pos)[0]))
                pos += 4
            else:
                found.append((keyword, topics, None))
                pos += 8
        return found

    def listing_blocks(self):
        """The listing blocks in the order of their chain, from the first one on."""
        number, previous, chain = 0, -1, []
        while number != -1:
            block = self.block(number)
            assert struct.unpack_from("<i", block, 4)[0] == previous, number
            chain.append(number)
            previous, number = number, struct.unpack_from("<i", block, 8)[0]
        return chain

    def look_up(self, keyword):
        number = self.root
        for _ in range(self.depth - 1):
            children = self.entries(self.block(number), 8, True)
            number = children[0][2]
            for key, _, child in children:
                if key.casefold() <= keyword.casefold():
                    number = child
        for key, topics, _ in self.entries(self.block(number), 12, False):
            if key == keyword:
                return topics
        return None

    def page(self, topic):
        urltbl_offset = struct.unpack_from("<I", self.topics, topic * 16 + 8)[0]
        _, topic_again, urlstr_offset = struct.unpack_from("<III", self.urltbl, urltbl_offset)
        assert topic_again == topic
        end = self.urlstr.index(b"\0", urlstr_offset + 8)
        return self.urlstr[urlstr_offset + 8:end].decode("cp1252")


@pytest.fixture(scope="module")
def help_tree(bin_dir, tmp_path_factory):
    out = tmp_path_factory.mktemp("chm")
    subprocess.run(["7z", "x", "-y", f"-o{out}", str(bin_dir / "Korrin.chm")], check=True, capture_output=True,
                   timeout=60)
    return out


def test_index_has_every_help_keyword_leading_to_a_page(help_tree):
    assert (help_tree / "help" / "index.htm").is_file()
    keywords = help_keywords()
    assert sorted(keywords) == [112, 164, 169, 170, 174, 175, 195, 200, 201, 202, 203, 204, 206, 218, 224]
    index = dict(sitemap_entries(help_tree / "Korrin.hhk"))
    binary_index = (help_tree / "$WWKeywordLinks" / "BTree").read_bytes()
    for number, keyword in keywords.items():
        assert keyword in index, (number, keyword)
        assert in_help(help_tree, index[keyword]).is_file(), (keyword, index[keyword])
        assert keyword.encode("utf-16-le") in binary_index, keyword
    assert b"mywin" in (help_tree / "#STRINGS").read_bytes()


def test_keyword_look_up_through_the_binary_index_reaches_each_keywords_page(help_tree):
    index = KeywordIndex(help_tree)
    sitemap = sitemap_entries(help_tree / "Korrin.hhk")
    assert len(sitemap) >= 120
    assert index.locale == 0x409
    # Listing blocks only make a tree of depth 1; every index level above them adds one.
    chain = index.listing_blocks()
    assert chain == list(range(index.last_listing + 1))
    levels, blocks_above = 1, index.blocks - len(chain)
    number = index.root
    while number > index.last_listing:
        levels += 1
        number = KeywordIndex.entries(index.block(number), 8, True)[0][2]
    assert index.depth == levels and (blocks_above == 0) == (levels == 1)
    listed = [key for number in chain for key, _, _ in KeywordIndex.entries(index.block(number), 12, False)]
    assert len(listed) == index.keywords == len(sitemap)

    for keyword in help_keywords().values():
        topics = index.look_up(keyword)
        assert topics, keyword
        assert [index.page(t) for t in topics] == [dict(sitemap)[keyword].replace("\\", "/")], keyword
    for keyword, local in sitemap:
        topics = index.look_up(keyword)
        assert topics and index.page(topics[0]) == local.replace("\\", "/"), keyword


def test_an_index_too_large_for_one_index_block_still_leads_each_keyword_to_its_page(tmp_path):
    # 1,200 long keywords fill some sixty listing blocks, whose first keywords need more than one
    # index block: a tree of three levels.
    source = tmp_path / "source"
    shutil.copytree(ROOT / "help", source)
    pages = sorted(p.name for p in source.glob("*.htm"))
    keywords = [(f"keyword {n:04d} as long as the words users type into the index", pages[n % len(pages)])
                for n in range(1200)]
    lines = [f'  <LI><OBJECT type="text/sitemap"><param name="Name" value="{k}"><param name="Local" '
             f'value="help\\{page}"></OBJECT>' for k, page in keywords]
    index = (source / "Korrin.hhk").read_text("cp1252")
    (source / "Korrin.hhk").write_text(index.replace("<UL>\n", "<UL>\n" + "\n".join(lines) + "\n", 1), "cp1252")
    output = tmp_path / "Korrin.chm"
    subprocess.run(["bash", str(source / "make_chm.sh"), str(tmp_path / "stage"), str(output)], check=True,
                   capture_output=True, timeout=300)
    tree = tmp_path / "unpacked"
    subprocess.run(["7z", "x", "-y", f"-o{tree}", str(output)], check=True, capture_output=True, timeout=60)
    index = KeywordIndex(tree)
    assert index.depth == 3
    assert len(index.listing_blocks()) == index.last_listing + 1
    for keyword, page in keywords + sitemap_entries(source / "Korrin.hhk")[-3:]:
        topics = index.look_up(keyword)
        assert topics and index.page(topics[0]) == "help/" + page.replace("help\\", ""), keyword


def test_every_page_is_in_the_contents_and_the_index_and_drawn_in_standards_mode(help_tree):
    pages = {p.name for p in (help_tree / "help").glob("*.htm")}
    contents = {local.split("\\")[-1] for _, local in sitemap_entries(help_tree / "Korrin.hhc") if local}
    indexed = {local.split("\\")[-1] for _, local in sitemap_entries(help_tree / "Korrin.hhk")}
    assert contents == pages and indexed == pages
    for page in pages:
        text = (help_tree / "help" / page).read_text("cp1252")
        assert text.startswith("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\""), page
        assert 'href="velloran.css"' in text, page


def test_header_url_table_and_system_file_follow_the_documented_format(bin_dir, help_tree):
    header = (bin_dir / "Korrin.chm").read_bytes()[:0x38]
    assert header[0x18:0x28] != header[0x28:0x38]
    assert header[0x28:0x38] == bytes.fromhex("11fd017caa7bd0119e0c00a0c922e6ec")
    urltbl = (help_tree / "#URLTBL").read_bytes()
    ids = [struct.unpack_from("<I", urltbl, i)[0] for i in range(0, len(urltbl), 12)]
    assert 0 not in ids and len(set(ids)) == len(ids)
    system = (help_tree / "#SYSTEM").read_bytes()
    records, pos = {}, 4
    while pos < len(system):
        code, length = struct.unpack_from("<HH", system, pos)
        records[code] = system[pos + 4:pos + 4 + length]
        pos += 4 + length
    assert records[6] == b"korrin\0"
    assert struct.unpack_from("<I", records[4])[0] == 0x409


@pytest.mark.parametrize("popup_file", sorted(POPUP_CONTROLS))
def test_popup_file_explains_every_control(help_tree, popup_file):
    text = (help_tree / "popups" / popup_file).read_text("cp1252")
    topics = dict(re.findall(r"^\.topic (\d+)\r?\n(.+)", text, re.M))
    missing = [c for c in POPUP_CONTROLS[popup_file] if not topics.get(str(c), "").strip()]
    assert not missing, missing


def test_no_page_links_to_a_missing_page(help_tree):
    pages = sorted(help_tree.glob("help/*.htm"))
    assert len(pages) > 10
    for name, local in sitemap_entries(help_tree / "Korrin.hhc"):
        assert local is None or in_help(help_tree, local).is_file(), (name, local)
    for page in pages:
        for link in re.findall(r"(?:href|src)=\"([^\"]+)\"", page.read_text("cp1252"), re.I):
            if re.match(r"[a-z]+:", link, re.I) or link.startswith("#"):
                continue
            assert (page.parent / link.split("#")[0]).is_file(), (page.name, link)


def test_contents_books_do_not_repeat_their_first_page(help_tree):
    contents = (help_tree / "Korrin.hhc").read_text("cp1252")
    books = re.findall(r"<OBJECT type=\"text/sitemap\">(.*?)</OBJECT>\s*<UL>\s*<LI>\s*<OBJECT type=\"text/sitemap\">(.*?)</OBJECT>",
                       contents, re.S | re.I)
    assert len(books) >= 4
    for book, first in books:
        local = re.findall(r"name=\"Local\" value=\"([^\"]*)\"", book)
        assert not local or local != re.findall(r"name=\"Local\" value=\"([^\"]*)\"", first), book


def use_x11(prefix, display):
    prefix.env["DISPLAY"] = display
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/d", "x11", "/f"],
                   env=prefix.env, check=True, capture_output=True, timeout=60)


def contents_count(tree):
    return len(sitemap_entries(tree / "Korrin.hhc"))


def help_window_once_filled(look, expected):
    """The help window's title and the number of entries of its contents pane, which fills after
    the window shows: looked at until it holds the expected number, or for a minute."""
    deadline = time.monotonic() + 60
    while True:
        code, output = look()
        assert code == 0, "no help window"
        title, items = output.strip().split("\t")
        if int(items) == expected or time.monotonic() > deadline:
            return title, int(items)
        time.sleep(0.5)


def test_hh_shows_the_help_file_with_our_contents(wine_prefix, bin_dir, help_tree, tmp_path, x_display):
    use_x11(wine_prefix, x_display)
    viewer = wine_prefix.start("hh.exe", wine_prefix.windows_path(bin_dir / "Korrin.chm"))
    try:
        probe = pathlib.Path(os.environ["VELLORAN_TEST_TREE"]) / "tests" / "bin" / "window_probe.exe"
        def look():
            found = wine_prefix.run(probe, "window", HELP_CLASS, 30000)
            return found.returncode, found.stdout.decode("cp1252")
        title, tree_items = help_window_once_filled(look, contents_count(help_tree))
        assert title == HELP_TITLE and tree_items == contents_count(help_tree), (title, tree_items)
        time.sleep(2)  # the panes are painted
        picture = tmp_path / "help-window.png"
        subprocess.run([IMPORT, "-display", x_display, "-window", "root", str(picture)], check=True, timeout=60)
        artefacts = pathlib.Path(os.environ["VELLORAN_BUILD_DIR"]) / "artifacts"
        artefacts.mkdir(exist_ok=True)
        shutil.copy(picture, artefacts / "help-window.png")
    finally:
        viewer.kill()


def test_help_contents_opens_the_help_window(wine_prefix, bin_dir, help_tree):
    program = Program(wine_prefix, bin_dir)
    process = program.start()
    try:
        assert program.probe("post", WM_COMMAND, IDM_HELP)[0] == 0
        title, tree_items = help_window_once_filled(lambda: program.probe("window", HELP_CLASS, 30000),
                                                    contents_count(help_tree))
        assert title == HELP_TITLE and tree_items == contents_count(help_tree), (title, tree_items)
        assert program.probe("post", WM_CLOSE, 0)[0] == 0
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()
