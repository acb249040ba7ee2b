# Used by scripts/openmsx-check.sh: puts a BSAVE screen file into the VDP's memory, sets the
# screen's registers as the BIOS would, and screenshots the result.
proc msx_show {path screen shot} {
  set ::gamma 1.0
  set f [open $path rb]
  fconfigure $f -translation binary
  set d [read $f]
  close $f
  binary scan $d cusususu id start end exec
  set data [string range $d 7 [expr {7 + $end - $start}]]
  # R#0 mode bits, R#1 display on, R#2 page 0, R#8 sprites off, R#9 212 lines; R#25 YJK.
  set r0 [dict get {5 0x06 8 0x0E 12 0x0E} $screen]
  foreach {r v} [list 0 $r0 1 0x40 2 0x1F 7 0 8 0x0A 9 0x80 23 0] {
    debug write "VDP regs" $r $v
  }
  if {$screen == 12} { debug write "VDP regs" 25 0x08 }
  if {$screen == 5} {
    debug write_block VRAM $start $data
  } else {
    # Screens 7 and up interleave the two memory banks: byte a lies at (a & 1) << 16 | a >> 1.
    binary scan $data cu* bytes
    set even {}
    set odd {}
    foreach {e o} $bytes {
      lappend even $e
      if {$o ne {}} { lappend odd $o }
    }
    debug write_block VRAM [expr {$start >> 1}] [binary format cu* $even]
    debug write_block VRAM [expr {0x10000 + ($start >> 1)}] [binary format cu* $odd]
  }
  # Screen 5 keeps its palette registers in the file at 7680.
  if {$screen == 5 && $end >= 0x769F} {
    debug write_block "VDP palette" 0 [string range $data [expr {0x7680 - $start}] [expr {0x769F - $start}]]
  }
  after time 0.5 [list msx_done $shot]
}
proc msx_done {shot} {
  screenshot -raw $shot
  exit
}
