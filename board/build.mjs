// Bundles the board into one page (mqtt inlined, nothing fetched at run time) and the load tool
// into one script, both in the build folder:
//   node build.mjs OUT_DIR        (OUT_DIR holds node_modules from `npm ci`)
import { createRequire } from "node:module";
import { readFileSync, writeFileSync } from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const source = path.dirname(fileURLToPath(import.meta.url));
const out = path.resolve(process.argv[2] ?? ".");
const modules = path.join(out, "node_modules");
const esbuild = createRequire(path.join(out, "package.json"))("esbuild");

const page = await esbuild.build({
    entryPoints: [path.join(source, "src/main.js")],
    bundle: true,
    minify: true,
    format: "iife",
    platform: "browser",
    target: "es2020",
    nodePaths: [modules],
    legalComments: "none",
    write: false,
});
// Inside a <script> element only "</script" could end the script early.
const script = page.outputFiles[0].text.replace(/<\/(script)/gi, "<\\/$1");
const style = readFileSync(path.join(source, "src/board.css"), "utf8");
const html = readFileSync(path.join(source, "src/index.html"), "utf8")
    .replace("/*STYLE*/", () => style)
    .replace("/*SCRIPT*/", () => script);
writeFileSync(path.join(out, "board.html"), html);

await esbuild.build({
    entryPoints: [path.join(source, "../tools/board_load/board_load.mjs")],
    bundle: true,
    format: "esm",
    platform: "node",
    target: "node18",
    nodePaths: [modules],
    // ws loads these native helpers only when they are installed; mqtt works without them.
    external: ["bufferutil", "utf-8-validate"],
    // mqtt's CommonJS parts call require() for node's own modules.
    banner: { js: "import { createRequire } from 'node:module';\n" +
                  "const require = createRequire(import.meta.url);" },
    outfile: path.join(out, "board_load.mjs"),
    legalComments: "none",
});
console.log(`board: ${path.join(out, "board.html")} (${html.length} bytes)`);
