#!/usr/bin/python3
"""The console's page in headless Chromium, driven by Selenium, on the
simulated chip: navigator.serial is a double (serial_double.js) whose ports
reach the chip's pseudo-terminal through serial_bridge.py. One case per run:
browser_check.py CASE PAGE CHIPSIM CLI SOURCE_DIR."""
import os
import sys
import tempfile
import time

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache beside the sources
from browser_support import (CASE, PORT_FAILURE, Chip, Page, cli_run,  # noqa: E402
                             designed_controls, fail, wait_for)
from serial_bridge import Bridge  # noqa: E402


def check_window(page, chip):
    """Every control of the core's table at its rectangle, with its caption and
    its place in the tab order; the designed title; no message at start-up."""
    if page.js("return document.title") != "Orvanta-VXT4710E中文语音合成芯片-PC端演示程序":
        fail("title " + page.js("return document.title"))
    rows = designed_controls()
    if len(rows) != 54:
        fail("read %d rows of the control table" % len(rows))
    by_name = {r["name"]: r for r in rows}
    shown = page.js("""
        const form = document.getElementById('Form1').getBoundingClientRect();
        const f = document.getElementById('Form1');
        const out = {};
        for (const el of f.querySelectorAll('.ctl')) {
          const r = el.getBoundingClientRect();
          const focus = el.tagName === 'LABEL' ? el.querySelector('input') : el;
          let caption = el.querySelector(':scope > .caption') ? el.querySelector('.caption').textContent
            : el.tagName === 'SELECT' ? el.options[0].textContent
            : 'value' in el && el.tagName !== 'BUTTON' ? el.value : el.textContent;
          out[el.id] = {rect: [r.left - form.left - f.clientLeft, r.top - form.top - f.clientTop,
                               r.width, r.height], caption, tab: focus.tabIndex};
        }
        return out;""")
    if sorted(shown) != sorted(by_name):
        fail("the page's controls %s are not the table's" % sorted(set(shown) ^ set(by_name)))
    for row in rows:
        x = y = 0
        container = row["container"]
        while container:
            x += round(by_name[container]["rect"][0] / 15)
            y += round(by_name[container]["rect"][1] / 15)
            container = by_name[container]["container"]
        left, top, width, height = (round(v / 15) for v in row["rect"])
        want = [x + left, y + top, width, height]
        got = shown[row["name"]]
        if [round(v) for v in got["rect"]] != want:
            fail("%s at %s, designed %s" % (row["name"], got["rect"], want))
        if row["kind"] != "HScrollBar" and got["caption"] != row["caption"]:
            fail("%s shows %r, designed %r" % (row["name"], got["caption"], row["caption"]))
        focusable = row["kind"] not in ("Frame", "Label")
        if focusable and got["tab"] != row["tab"] + 1:
            fail("%s is %d in the tab order, designed %d" % (row["name"], got["tab"], row["tab"]))
    if page.message() is not None:
        fail("a message at start-up: " + page.message())
    # Everything the page loaded came from its own folder.
    loaded = page.js("return performance.getEntriesByType('resource').map(e => e.name)")
    if any(not url.startswith("file://") for url in loaded):
        fail("the page loaded %s" % loaded)


def chip_intro(page):
    page.click("Command31")
    return page.js("return document.getElementById('Text3').value").replace("\n", "\r\n")


def check_play_200(page, chip):
    """播放 最多200字节 on the chip introduction: the frame the CLI sends."""
    text = chip_intro(page)
    page.click("Command6")
    wait_for("the chip's frame", chip.frames)
    time.sleep(0.5)
    want, _ = cli_run(text, ["speak", "--no-wait"])
    if chip.frames() != want:
        fail("frames %s, the CLI's %s" % (chip.frames(), want))


def check_play_all(page, chip):
    """播放 全部(连续): every piece on the chip's idle reply, the frames and the
    work log the CLI gives for the same text."""
    text = chip_intro(page)
    want, printed = cli_run(text, ["speak"])
    page.click("Command3")
    wait_for("every frame", lambda: len(chip.frames()) >= len(want), timeout=30)
    expected_log = printed.replace("\n", "\r\n")
    wait_for("the whole log", lambda: page.log().replace("\n", "\r\n") == expected_log
             or page.log().count("\n") > expected_log.count("\n"), timeout=10)
    if chip.frames() != want:
        fail("frames %s, the CLI's %s" % (chip.frames(), want))
    if page.log().replace("\n", "\r\n") != expected_log:
        fail("log %r, the CLI printed %r" % (page.log(), printed))


def check_rate_change(page, chip, bridge):
    """设置芯片 to 19200: on the chip's 0x41 the port opens again at 19200, and
    the next frame reaches the chip at that rate."""
    Select(page.driver.find_element(By.ID, "Combo5")).select_by_index(2)
    page.click("Command11")
    wait_for("the chip's new rate", lambda: any("rate 19200" in l for l in chip.lines))
    wait_for("the port at 19200", lambda: bridge.opens == [9600, 19200])
    wait_for("PC rate 19200", lambda: page.js(
        "const c = document.getElementById('Combo2'); return c.options[c.selectedIndex].text") == "19200")
    before = len(chip.frames())
    page.click("Command28")
    wait_for("the query at 19200", lambda: len(chip.frames()) > before)
    if "query" not in [l for l in chip.lines if l.startswith("recv ")][-1]:
        fail("the chip read %s" % chip.lines[-3:])
    # 电脑波特率 on the open port: it opens again at the rate picked.
    Select(page.driver.find_element(By.ID, "Combo2")).select_by_visible_text("38400")
    wait_for("the port at 38400", lambda: bridge.opens[-1:] == [38400])


def check_no_port(page, chip, bridge):
    """No port granted: the page opens with no message; the first send shows
    the port-failure message; once a port is granted the next send opens it."""
    page.click("Command6")
    wait_for("the port-failure message", page.message)
    if page.message() != PORT_FAILURE:
        fail("message %r" % page.message())
    page.close_message()
    page.click("grantPort")
    wait_for("the granted port", lambda: "COM1" in page.js(
        "return document.getElementById('grantedPorts').textContent"))
    tips = page.js("return [...document.getElementById('Combo4').options].slice(1, 3).map(o => o.title)")
    if tips != ["COM1 → USB 1a86:7521", "COM2：没有对应的串口设备"]:
        fail("the ports' tooltips are %s" % tips)
    page.click("Command6")
    wait_for("the frame after the grant", chip.frames)
    if page.message() is not None:
        fail("a message after the grant: " + page.message())


def check_lost_port(page, chip, bridge):
    """The adapter pulled out while the text plays: the next send says the
    port is missing, once; granted again, the send after it opens it."""
    chip_intro(page)
    page.click("Command3")
    wait_for("the first piece", chip.frames)
    page.js("__serialDouble.pullOut(0)")
    time.sleep(0.5)
    if page.message() is not None:
        fail("a message on the loss itself: " + page.message())
    page.click("Command6")
    wait_for("the port-failure message", page.message)
    page.close_message()
    time.sleep(0.5)
    if page.message() is not None:
        fail("the message came again: " + page.message())
    before = len(chip.frames())
    page.js("__serialDouble.grant()")
    page.click("grantPort")  # the page learns of the port granted again
    page.click("Command6")
    wait_for("the frame after the new grant", lambda: len(chip.frames()) > before)


def check_hex_frame(page, chip):
    """播放--自动加校验 on the designed hexadecimal text: the CLI's frame."""
    hex_text = page.js("return document.getElementById('Text5').value").strip()
    page.click("Command29")
    wait_for("the chip's frame", chip.frames)
    time.sleep(0.3)
    want, _ = cli_run(None, ["hex", hex_text])
    if chip.frames() != want:
        fail("frames %s, the CLI's %s" % (chip.frames(), want))


def check_marks(page, chip):
    """Word-By-Word and 控制标记恢复默认值: the CLI's frames of [o1] and [d]."""
    page.click("Option2")
    wait_for("the style's frame", chip.frames)
    page.click("Command34")
    wait_for("the defaults' frame", lambda: len(chip.frames()) >= 2)
    time.sleep(0.3)
    want = cli_run(None, ["mark", "o1"])[0] + cli_run(None, ["mark", "d"])[0]
    if chip.frames() != want:
        fail("frames %s, the CLI's %s" % (chip.frames(), want))


def check_texts(page, chip):
    """The text is kept for the next visit; 打开文本文件 reads a GBK file; the
    saved work log is the log as it stands, in the encoding chosen."""
    from selenium.webdriver.common.action_chains import ActionChains
    text3 = page.driver.find_element(By.ID, "Text3")
    # The second text has a character GBK lacks: it is kept all the same.
    for kept in ("第一行\n第二行", "한국어 text"):
        text3.clear()
        text3.send_keys(kept)
        page.driver.refresh()
        wait_for("the page again", lambda: page.js("return document.body.dataset.ready === '1'"))
        if page.js("return document.getElementById('Text3').value") != kept:
            fail("the kept text is %r" % page.js("return document.getElementById('Text3').value"))
        text3 = page.driver.find_element(By.ID, "Text3")
    ActionChains(page.driver).context_click(page.driver.find_element(By.ID, "Text3")).perform()
    entries = page.js("return [...document.querySelectorAll('#menu div')].map(d => d.textContent)")
    if entries != ["打开文本文件(O)…", "另存为(A)…"]:
        fail("the text's menu holds %s" % entries)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "gbk.txt")
        with open(path, "wb") as f:
            f.write("载入的文本\r\n".encode("gbk"))
        page.driver.find_element(By.ID, "openFile").send_keys(path)
        wait_for("the opened text", lambda: page.js(
            "return document.getElementById('Text3').value") == "载入的文本\n")
        page.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": folder})
        page.click("Command28")
        wait_for("the reply's log", lambda: page.log().count("\n") >= 2)
        ActionChains(page.driver).context_click(page.driver.find_element(By.ID, "Text4")).perform()
        page.click("menu-SaveLog")
        Select(page.driver.find_element(By.ID, "saveFilter")).select_by_index(1)
        page.driver.find_element(By.ID, "saveName").clear()
        page.driver.find_element(By.ID, "saveName").send_keys("log.txt")
        page.click("saveOk")
        saved = os.path.join(folder, "log.txt")
        wait_for("the saved log", lambda: os.path.exists(saved) and os.path.getsize(saved) > 0)
        got = open(saved, "rb").read()
        if got != page.log().replace("\n", "\r\n").encode("gbk"):
            fail("saved %r for the log %r" % (got, page.log()))
    # 通信分析: the query frame and the chip's answer, as the windows list them.
    ActionChains(page.driver).context_click(page.driver.find_element(By.ID, "Text4")).perform()
    entries = page.js("return [...document.querySelectorAll('#menu div')].map(d => d.textContent)")
    if entries != ["通信分析(I)…", "保存工作记录(S)…"]:
        fail("the log's menu holds %s" % entries)
    page.click("menu-TrafficAnalysis")
    table = page.js("return [...document.querySelectorAll('#analysis tr')].map("
                    "r => [...r.cells].map(c => c.textContent))")
    if table[0] != ["时间", "方向", "字节", "含义", "校验", "耗时"] or len(table) < 3:
        fail("the analysis shows %s" % table)
    if "FD 00 02 21 DE" not in table[1][2].upper():
        fail("the first record is %s" % table[1])


def check_repetition(page, chip):
    """重复播放--测试用 waits on timers: its frames go out one by one while the
    page itself answers at once."""
    # Below the designed client area, as in the window: out of the user's reach.
    page.js("document.getElementById('Command4').click()")
    wait_for("the frame after the first wait", lambda: len(chip.frames()) >= 3, timeout=5)
    started = time.monotonic()
    page.js("return document.title")
    if time.monotonic() - started > 0.5:
        fail("the page was blocked")
    if page.js("return document.body.style.cursor") != "wait":
        fail("the page does not show that the test runs")


def check_no_web_serial(page, chip):
    """A browser without Web Serial: the page says so, cannot grant a port,
    and a send shows the port-failure message."""
    if page.js("return document.getElementById('noSerial').hidden"):
        fail("the page does not say that the browser has no Web Serial")
    if page.js("return document.getElementById('grantPort').disabled") is not True:
        fail("a port can still be asked for")
    page.click("Command28")
    wait_for("the port-failure message", page.message)
    if page.message() != PORT_FAILURE:
        fail("message %r" % page.message())


CASES = {
    "no_web_serial": (check_no_web_serial, -1),
    "hex_frame": (check_hex_frame, 1),
    "marks": (check_marks, 1),
    "texts": (check_texts, 1),
    "repetition": (check_repetition, 1),
    "window": (check_window, 0),
    "play_200": (check_play_200, 1),
    "play_all": (check_play_all, 1),
    "rate_change": (check_rate_change, 1),
    "no_port": (check_no_port, 0),
    "lost_port": (check_lost_port, 1),
}


def main():
    check, pregranted = CASES[CASE]
    with tempfile.TemporaryDirectory() as folder:
        chip = Chip(folder)
        bridge = Bridge(chip.device)
        page = Page(bridge.port, pregranted)
        try:
            if check.__code__.co_argcount == 3:
                check(page, chip, bridge)
            else:
                check(page, chip)
        finally:
            page.quit()
            chip.stop()
    print("browser_check %s: ok" % CASE)


if __name__ == "__main__":
    main()
