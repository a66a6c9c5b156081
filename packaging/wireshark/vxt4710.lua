-- Wireshark dissector for the VXT4710 speech chip's serial line, as the
-- console, vxt4710-cli and its monitor capture it: link type 147 (USER0),
-- one packet per frame to the chip or status byte from it, the direction in
-- the packet's flags, the console's meaning of the packet in its comment.
--
-- Put this file into Wireshark's Lua plugin folder (Help > About Wireshark >
-- Folders > Personal Lua Plugins), or load it for one run:
--   tshark -X lua_script:vxt4710.lua -r talk.pcapng
-- Filters: vxt4710.cmd == 0x01, vxt4710.checksum_ok == 0, vxt4710.status == 0x45

local p = Proto("vxt4710", "VXT4710 speech chip")

local commands = {
    [0x01] = "合成", [0x02] = "停止", [0x03] = "暂停", [0x04] = "恢复",
    [0x21] = "查询", [0x31] = "设置芯片", [0x88] = "休眠",
}
local statuses = {
    [0x41] = "接收成功", [0x45] = "接收失败", [0x4A] = "初始化成功回传",
    [0x4E] = "芯片正在播音", [0x4F] = "芯片空闲",
}
-- The encoding bits of a synthesis frame's parameter.
local encodings = { [0] = "GB2312", [1] = "GBK", [2] = "BIG5", [3] = "UTF-16" }
local rates = { [0] = 9600, [1] = 19200, [2] = 38400 }

local f = p.fields
f.dir = ProtoField.string("vxt4710.dir", "Direction")
f.len = ProtoField.uint16("vxt4710.len", "Length", base.DEC)
f.cmd = ProtoField.uint8("vxt4710.cmd", "Command", base.HEX, commands)
f.param = ProtoField.uint8("vxt4710.param", "Parameter", base.HEX)
f.music = ProtoField.uint8("vxt4710.music", "Background music", base.DEC, nil, 0xF8)
f.encoding = ProtoField.uint8("vxt4710.encoding", "Encoding", base.DEC, encodings, 0x07)
f.rate = ProtoField.uint32("vxt4710.rate", "Rate (bit/s)", base.DEC)
f.text = ProtoField.string("vxt4710.text", "Text")
f.checksum = ProtoField.uint8("vxt4710.checksum", "Checksum", base.HEX)
f.checksum_ok = ProtoField.uint8("vxt4710.checksum_ok", "Checksum correct", base.DEC,
    { [0] = "no", [1] = "yes" })
f.status = ProtoField.uint8("vxt4710.status", "Status", base.HEX, statuses)
f.bytes = ProtoField.bytes("vxt4710.bytes", "Bytes")

local e_checksum = ProtoExpert.new("vxt4710.checksum.bad", "Wrong checksum",
    expert.group.CHECKSUM, expert.severity.WARN)
local e_length = ProtoExpert.new("vxt4710.len.bad", "Length field does not match the frame",
    expert.group.MALFORMED, expert.severity.WARN)
local e_undecoded = ProtoExpert.new("vxt4710.text.undecoded",
    "BIG5 text is not decoded by this Wireshark", expert.group.UNDECODED, expert.severity.NOTE)
p.experts = { e_checksum, e_length, e_undecoded }

local comment_field = Field.new("frame.comment")
local text_field = Field.new("vxt4710.text")

local function hex2(b) return string.format("0x%02X", b) end

-- The text as Unicode by the frame's encoding bits; what the Info column
-- quotes (empty: nothing decoded).
local function add_text(tree, range, encoding)
    local enc
    if encoding == 0 or encoding == 1 then
        enc = ENC_GB18030 -- GB2312 and GBK are its subsets
    elseif encoding == 3 then
        enc = ENC_UTF_16 + ENC_LITTLE_ENDIAN
    end
    if not enc then
        tree:add(f.bytes, range):add_proto_expert_info(e_undecoded)
        return ""
    end
    tree:add_packet_field(f.text, range, enc)
    local values = { text_field() }
    return values[#values] and values[#values].value or ""
end

-- A frame's fields; its meaning for the Info column.
local function dissect_frame(tvb, tree)
    local n = tvb:len()
    if n < 5 then
        tree:add(f.bytes, tvb()):add_proto_expert_info(e_length)
        return n .. " 字节，帧不完整"
    end
    local len_item = tree:add(f.len, tvb(1, 2))
    if tvb(1, 2):uint() + 3 ~= n then len_item:add_proto_expert_info(e_length) end
    local cmd = tvb(3, 1):uint()
    tree:add(f.cmd, tvb(3, 1))
    local info = commands[cmd] or ("未知命令 0x" .. string.format("%02X", cmd))
    if cmd == 0x01 and n >= 6 then
        local param = tvb(4, 1):uint()
        tree:add(f.music, tvb(4, 1))
        tree:add(f.encoding, tvb(4, 1))
        local music = bit.rshift(param, 3)
        local encoding = bit.band(param, 7)
        info = info .. (music == 0 and " 无背景" or string.format(" 背景音乐%02d", music)) .. " " ..
            (encoding == 1 and "GBK" or ("编码 " .. encoding))
        if n > 6 then
            local text = add_text(tree, tvb(5, n - 6), encoding)
            if text ~= "" then info = info .. " “" .. text .. "”" end
        end
    elseif cmd == 0x31 and n >= 6 then
        tree:add(f.param, tvb(4, 1))
        local rate = rates[tvb(4, 1):uint()]
        if rate then
            tree:add(f.rate, tvb(4, 1), rate)
            info = info .. " 波特率 " .. rate
        end
    end
    local sum = 0
    for i = 0, n - 2 do sum = bit.bxor(sum, tvb(i, 1):uint()) end
    local checksum = tvb(n - 1, 1):uint()
    tree:add(f.checksum, tvb(n - 1, 1))
    local ok = tree:add(f.checksum_ok, tvb(n - 1, 1), sum == checksum and 1 or 0)
    if sum ~= checksum then ok:add_proto_expert_info(e_checksum) end
    return info
end

function p.dissector(tvb, pinfo, root)
    local n = tvb:len()
    if n == 0 then return 0 end
    pinfo.cols.protocol = "VXT4710"
    local tree = root:add(p, tvb())
    local first = tvb(0, 1):uint()
    -- Without the flags (another tool's capture), frames come from the
    -- controller and single bytes from the chip.
    local to_chip = pinfo.p2p_dir == P2P_DIR_SENT or
        (pinfo.p2p_dir ~= P2P_DIR_RECV and first == 0xFD)
    tree:add(f.dir, to_chip and "to chip" or "from chip")
    local info
    if to_chip and first == 0xFD then
        info = dissect_frame(tvb, tree)
    elseif not to_chip and n == 1 then
        tree:add(f.status, tvb(0, 1))
        info = "<-" .. hex2(first) .. "  " .. (statuses[first] or "未知状态")
    else
        tree:add(f.bytes, tvb())
        info = n .. " 字节不属于任何帧"
    end
    -- The console wrote its own words for the packet, the work log's: the
    -- Info column shows them (control marks named, bad bytes told).
    local comment = comment_field()
    pinfo.cols.info = comment and comment.value or info
    return n
end

DissectorTable.get("wtap_encap"):add(wtap_encaps.USER0, p)
