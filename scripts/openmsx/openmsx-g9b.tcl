# Used by scripts/openmsx-check.sh: puts a G9B picture into the GFX9000's memory, sets
# mode B1 for it through the chip's ports as an MSX program would, and screenshots the
# V9990's output.
proc v99_reg {r v} {
  debug write ioports 0x64 $r
  debug write ioports 0x63 $v
}
proc v99_show {path shot} {
  # The levels as the chip gives them, without the monitor curve openMSX adds by default.
  set ::gamma 1.0
  set f [open $path rb]
  fconfigure $f -translation binary
  set d [read $f]
  close $f
  binary scan $d a3sucucucususucu id hsize depth type colors width height comp
  set at [expr {5 + $hsize}]
  set clrm [dict get {2 0 4 1 8 2 16 3} $depth]
  set pltm [dict get {0 0 64 1 128 2 192 3} $type]
  # R#6: bitmap, 256-wide image space, bits per pixel; R#13: colour type, no YAE, offset 0.
  v99_reg 6 [expr {0x80 | $clrm}]
  v99_reg 7 0
  v99_reg 13 [expr {$pltm << 6}]
  v99_reg 15 0
  foreach r {17 18 19 20 21 22 23 24} { v99_reg $r 0 }
  # Palette: pointer R#14 = entry * 4, then R, G, B through P#1.
  v99_reg 14 0
  for {set i 0} {$i < 3 * $colors} {incr i} {
    binary scan $d @[expr {$at + $i}]cu v
    debug write ioports 0x61 $v
  }
  set at [expr {$at + 3 * $colors}]
  # The bitmap modes interleave the two memory banks: byte a of the image space lies at
  # (a & 1) << 18 | a >> 1 of the chip's memory.
  binary scan $d @${at}cu* bytes
  set a 0
  foreach v $bytes {
    debug write "Sunrise GFX9000 VRAM" [expr {($a & 1) << 18 | $a >> 1}] $v
    incr a
  }
  # Display on; half a second lets the new mode reach whole frames.
  v99_reg 8 0xC2
  after time 0.5 [list v99_done $shot]
}
proc v99_done {shot} {
  screenshot -raw $shot
  exit
}
