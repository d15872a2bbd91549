module github.com/junegunn/fzf

require (
	github.com/charlievieth/fastwalk v1.0.14
	github.com/gdamore/tcell/v2 v2.9.0
	github.com/junegunn/go-shellwords v0.0.0-20250127100254-2aa3b3277741
	github.com/mattn/go-isatty v0.0.24
	github.com/rivo/uniseg v0.4.7
	golang.org/x/sys v0.35.0
	golang.org/x/term v0.34.0
)

require (
	github.com/gdamore/encoding v1.0.1 // indirect
	github.com/lucasb-eyer/go-colorful v1.2.0 // indirect
	github.com/mattn/go-runewidth v0.0.16 // indirect
	golang.org/x/text v0.28.0 // indirect
)

go 1.23.0
